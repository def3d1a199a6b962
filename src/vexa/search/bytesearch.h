#ifndef VEXA_SEARCH_BYTESEARCH_H
#define VEXA_SEARCH_BYTESEARCH_H

#include <QByteArray>

#include <string>
#include <vector>

namespace vexa
{

// Finds a byte string in raw file bytes, optionally with ASCII capitals and
// small letters taken as equal (other bytes, UTF-8 sequences among them, are
// compared as they are).
//
// The search does not fold or copy the text: it looks for two of the
// needle's bytes at their distance, the rarest ones as source text goes,
// sixteen positions at a time, each a single compare (a letter's two cases
// differ only in bit 0x20), and checks the whole needle only where both are
// in place.
class ByteFinder
{
public:
    ByteFinder() = default;
    ByteFinder(const QByteArray& needle, bool foldAscii);

    bool isEmpty() const { return m_needle.isEmpty(); }
    qsizetype size() const { return m_needle.size(); }

    // The offset of the first occurrence that begins at or after `from` and
    // ends by `n`, or -1.
    qsizetype find(const char* text, qsizetype n, qsizetype from = 0) const;

private:
    bool matchesAt(const char* p) const;

    QByteArray m_needle; // folded to small letters when folding
    bool m_fold = false;
    // The two bytes looked for: offsets in the needle, the byte, and the
    // bits set on the text's byte before comparing (0x20 for a folded letter).
    qsizetype m_at1 = 0;
    qsizetype m_at2 = 0;
    unsigned char m_byte1 = 0;
    unsigned char m_byte2 = 0;
    unsigned char m_or1 = 0;
    unsigned char m_or2 = 0;
};

// The number of line feeds in `n` bytes.
qsizetype countLineFeeds(const char* p, qsizetype n);

// How many of `n` bytes, from the first, are valid UTF-8 as the decoder sees
// it (no stray or missing continuation bytes, no overlong forms, no
// surrogates, nothing past U+10FFFF): `n` when all are.
qsizetype validUtf8Length(const char* p, qsizetype n);

// Bytes that are not all valid UTF-8 made into a copy that is: the UTF-8 of
// what QString::fromUtf8() decodes them to. Each byte that does not begin a
// valid sequence becomes one U+FFFD (EF BF BD), as in that decoder, and a
// mark at the start is left out. Line feeds stay as they are, so an
// expression for valid UTF-8 can run over the copy and find what it would
// find in the decoded text, line for line.
class Utf8Repair
{
public:
    void assign(const char* p, qsizetype n);
    // Lets go of the memory the last copy took.
    void release();

    const char* data() const { return m_bytes.data(); }
    qsizetype size() const { return qsizetype(m_bytes.size()); }
    // The offset in the bytes given of the copy's offset `at`, which is not
    // inside a replacement (a line feed's is never).
    qsizetype source(qsizetype at) const;

private:
    std::string m_bytes;
    // The copy's offsets of the replacements, in order.
    std::vector<qsizetype> m_replaced;
    qsizetype m_skipped = 0;
};

} // namespace vexa

#endif
