#include "vexa/search/bytesearch.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vexa
{

namespace
{

unsigned char foldAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

bool isLetter(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// How common a byte is in source code and prose: the place from the end of
// a list of the most frequent ones (most frequent first); 0 for the rest.
int commonness(unsigned char c)
{
    static const char common[] =
        " e\nt\tasoirnlcd_uhpm(),;f*=/gb.-x0y1v\"w2k>{}<:#3[]ESTARINOCDLMPUFGBHWVYKXJQZ48&56'"
        "97+!|z\\%jq";
    const char* at = static_cast<const char*>(memchr(common, c, sizeof common - 1));
    return at ? int(sizeof common - 1 - (at - common)) : 0;
}

} // namespace

ByteFinder::ByteFinder(const QByteArray& needle, bool foldAscii)
    : m_needle(needle), m_fold(foldAscii)
{
    if (m_fold) {
        for (char& c : m_needle)
            c = char(vexa::foldAscii((unsigned char)c));
    }
    const qsizetype n = m_needle.size();
    if (n == 0)
        return;
    // The rarest byte, then the rarest at another offset, a byte other than
    // the first where the needle has one.
    auto rarity = [&](qsizetype i) { return commonness((unsigned char)m_needle.at(i)); };
    m_at1 = 0;
    for (qsizetype i = 1; i < n; ++i) {
        if (rarity(i) < rarity(m_at1))
            m_at1 = i;
    }
    auto rank = [&](qsizetype i) {
        return std::make_pair(m_needle.at(i) == m_needle.at(m_at1), rarity(i));
    };
    m_at2 = m_at1;
    for (qsizetype i = 0; i < n; ++i) {
        if (i != m_at1 && (m_at2 == m_at1 || rank(i) < rank(m_at2)))
            m_at2 = i;
    }
    m_byte1 = (unsigned char)m_needle.at(m_at1);
    m_byte2 = (unsigned char)m_needle.at(m_at2);
    m_or1 = m_fold && isLetter(m_byte1) ? 0x20 : 0;
    m_or2 = m_fold && isLetter(m_byte2) ? 0x20 : 0;
}

bool ByteFinder::matchesAt(const char* p) const
{
    const qsizetype n = m_needle.size();
    if (!m_fold)
        return memcmp(p, m_needle.constData(), size_t(n)) == 0;
    const char* needle = m_needle.constData();
    for (qsizetype i = 0; i < n; ++i) {
        if (foldAscii((unsigned char)p[i]) != (unsigned char)needle[i])
            return false;
    }
    return true;
}

qsizetype ByteFinder::find(const char* text, qsizetype n, qsizetype from) const
{
    const qsizetype size = m_needle.size();
    if (size == 0 || from < 0 || n - from < size)
        return -1;
    // The last offset a hit can begin at.
    const qsizetype last = n - size;
    qsizetype pos = from;
#if defined(__SSE2__)
    const __m128i or1 = _mm_set1_epi8(char(m_or1));
    const __m128i or2 = _mm_set1_epi8(char(m_or2));
    const __m128i byte1 = _mm_set1_epi8(char(m_byte1));
    const __m128i byte2 = _mm_set1_epi8(char(m_byte2));
    // Sixteen offsets at a time, all of which leave room for the needle.
    for (; pos + 16 <= last + 1; pos += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + pos + m_at1));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + pos + m_at2));
        unsigned mask =
            unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, or1), byte1),
                                                     _mm_cmpeq_epi8(_mm_or_si128(b, or2), byte2))));
        while (mask) {
            const qsizetype at = pos + __builtin_ctz(mask);
            if (matchesAt(text + at))
                return at;
            mask &= mask - 1;
        }
    }
#endif
    for (; pos <= last; ++pos) {
        if (((unsigned char)text[pos + m_at1] | m_or1) == m_byte1 &&
            ((unsigned char)text[pos + m_at2] | m_or2) == m_byte2 && matchesAt(text + pos))
            return pos;
    }
    return -1;
}

qsizetype countLineFeeds(const char* p, qsizetype n)
{
    qsizetype count = 0;
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    while (i + 16 <= n) {
        // Per-byte counters (a match is -1, so subtracting adds one), summed
        // before any of them can pass 255.
        __m128i counts = _mm_setzero_si128();
        const qsizetype end = std::min(n - 15, i + 255 * 16);
        for (; i < end; i += 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(x, lf));
        }
        const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
        count += _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums));
    }
#endif
    return count + std::count(p + i, p + n, '\n');
}

qsizetype validUtf8Length(const char* p, qsizetype n)
{
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    qsizetype i = 0;
    while (i < n) {
#if defined(__SSE2__)
        // ASCII, most of any source tree, sixteen bytes at a time.
        while (i + 16 <= n &&
               _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i))) == 0)
            i += 16;
        if (i >= n)
            break;
#endif
        const unsigned c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int more;
        unsigned lo = 0x80;
        unsigned hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            if (c == 0xE0)
                lo = 0xA0;
            else if (c == 0xED)
                hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            if (c == 0xF0)
                lo = 0x90;
            else if (c == 0xF4)
                hi = 0x8F;
        } else {
            return i;
        }
        if (i + more >= n)
            return i;
        if (s[i + 1] < lo || s[i + 1] > hi)
            return i;
        for (int k = 2; k <= more; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return i;
        }
        i += more + 1;
    }
    return n;
}

void Utf8Repair::assign(const char* p, qsizetype n)
{
    m_bytes.clear();
    m_replaced.clear();
    m_skipped = n >= 3 && memcmp(p, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    // The decoder tries each byte after one it could not take: a bad
    // sequence of k bytes gives k replacements.
    for (qsizetype i = m_skipped; i < n;) {
        const qsizetype valid = i + validUtf8Length(p + i, n - i);
        m_bytes.append(p + i, size_t(valid - i));
        if (valid == n)
            break;
        m_replaced.push_back(qsizetype(m_bytes.size()));
        m_bytes.append("\xEF\xBF\xBD", 3);
        i = valid + 1;
    }
}

void Utf8Repair::release()
{
    std::string().swap(m_bytes);
    std::vector<qsizetype>().swap(m_replaced);
}

qsizetype Utf8Repair::source(qsizetype at) const
{
    // Each replacement before `at` is two bytes longer than the byte it stands for.
    const auto before = std::lower_bound(m_replaced.cbegin(), m_replaced.cend(), at);
    return at + m_skipped - 2 * qsizetype(before - m_replaced.cbegin());
}

} // namespace vexa
