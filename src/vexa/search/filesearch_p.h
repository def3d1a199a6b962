#ifndef VEXA_SEARCH_FILESEARCH_P_H
#define VEXA_SEARCH_FILESEARCH_P_H

// The matching side of the search in files: the compiled form of one set of
// options and the small helpers it shares with the driver. Included by
// filesearch.cpp alone, which it keeps apart from the walk over folders and
// the reading of files; its names stay local to that file.

#include "vexa/search/bytesearch.h"
#include "vexa/search/filesearch.h"

#include "xqwidgets/xqeditor/pattern.h"
#include "xqwidgets/xqeditor/patternengine.h"

#include <QRegularExpression>
#include <QString>

#include <cstring>
#include <utility>

namespace vexa
{

using xqwidgets::PatternEngine;

namespace
{

// What the decoder makes of a byte it cannot take.
constexpr QChar kBadByte(0xFFFD);

bool isWordChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_';
}

bool isAscii(const QString& s)
{
    return std::all_of(s.cbegin(), s.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

bool hasSurrogate(const QString& s)
{
    return std::any_of(s.cbegin(), s.cend(), [](QChar c) { return c.isSurrogate(); });
}

qsizetype countLineFeeds(const QString& s, qsizetype from, qsizetype to)
{
    return std::count(s.constData() + from, s.constData() + to, QChar(u'\n'));
}

// The start and end (its line feed, or `n`) of the line of `bytes` that
// holds offset `at`, looked for no further back than `from`.
std::pair<qsizetype, qsizetype> lineAround(const char* bytes, qsizetype from, qsizetype at,
                                           qsizetype n)
{
    const void* before = memrchr(bytes + from, '\n', size_t(at - from));
    const void* after = memchr(bytes + at, '\n', size_t(n - at));
    return {before ? static_cast<const char*>(before) - bytes + 1 : from,
            after ? static_cast<const char*>(after) - bytes : n};
}

// The engine's two kinds of subject under one set of calls.
qsizetype plainMatch(const PatternEngine& e, QStringView s, qsizetype, qsizetype from,
                     qsizetype* length, int flags)
{
    return e.matchInWindows(s, from, length, flags);
}
qsizetype plainMatch(const PatternEngine& e, const char* s, qsizetype size, qsizetype from,
                     qsizetype* length, int flags)
{
    return e.matchInWindows(s, size, from, length, flags);
}
qsizetype fullMatch(const PatternEngine& e, QStringView s, qsizetype, qsizetype from,
                    qsizetype* length, const std::atomic<bool>& stop, int flags, bool gaveUp)
{
    return e.matchFully(s, from, length, stop, flags, gaveUp);
}
qsizetype fullMatch(const PatternEngine& e, const char* s, qsizetype size, qsizetype from,
                    qsizetype* length, const std::atomic<bool>& stop, int flags, bool gaveUp)
{
    return e.matchFully(s, size, from, length, stop, flags, gaveUp);
}

// The compiled form of one set of options.
class Matcher
{
public:
    explicit Matcher(const SearchOptions& o) : options(o)
    {
        if (o.text.isEmpty())
            return;
        if (o.regExp) {
            bool ok = true;
            const QString translated = xqwidgets::Pattern::translate(o.text, &ok);
            // Lines are matched in their valid parts; a lone surrogate (from
            // a broken UTF-16 file) never matches but hides nothing else.
            int flags = PatternEngine::InvalidUtf;
            if (!o.caseSensitive)
                flags |= PatternEngine::CaseInsensitive;
            if (!ok || !line.compile(translated, PatternEngine::Utf16, flags)) {
                const QRegularExpression raw(o.text);
                error = raw.isValid() ? QStringLiteral("syntax error") : raw.errorString();
                return;
            }
            valid = true;
            // A text every match holds is looked for on the bytes, and only
            // the lines that have it meet the expression.
            const QString required = xqwidgets::Pattern::requiredText(o.text);
            if (!required.isEmpty() && !hasSurrogate(required) && !required.contains(kBadByte) &&
                (o.caseSensitive || isAscii(required)))
                useBytes(required);
            // The expression runs over the bytes of UTF-8 (a valid copy of
            // bytes that are not), over many lines at once or, after that
            // text, over the line that has it; a match tells which line to
            // scan as a line of its own. Over UTF-16 it runs on decoded
            // text. That cannot miss a line only while the expression does
            // not look beyond the text it matches or ask for the end of the
            // text.
            static const char* const unsafe[] = {"(?=", "(?!", "(?<", "\\z", "\\Z", "\\A", "\\G"};
            chunked = std::none_of(std::begin(unsafe), std::end(unsafe), [&](const char* s) {
                return translated.contains(QLatin1String(s));
            });
            if (chunked) {
                chunk.compile(translated, PatternEngine::Utf16, flags | PatternEngine::Multiline);
                // Only valid bytes are matched (others are copied valid first:
                // in the engine's mode for invalid input a bad byte matches
                // nothing, not even the "." that its U+FFFD in decoded text
                // does), so the engine needs neither its own check nor that
                // mode, which makes a match over plain text about four times
                // dearer.
                engineBytes =
                    chunk8.compile(translated, PatternEngine::Utf8,
                                   (flags & ~PatternEngine::InvalidUtf) | PatternEngine::Multiline);
                // An expression that cannot match U+FFFD finds the same in
                // bad bytes, taken by the engine as barriers no match
                // crosses, as in the decoded text, without a copy.
                rawBytes = engineBytes &&
                           !xqwidgets::Pattern::mayHold(o.text, 0xFFFD, o.caseSensitive) &&
                           chunk8raw.compile(translated, PatternEngine::Utf8,
                                             flags | PatternEngine::Multiline);
            }
            return;
        }
        valid = true;
        // A U+FFFD is also what a byte the decoder cannot take stands for,
        // which only the decoded text shows.
        if ((o.caseSensitive || isAscii(o.text)) && !o.text.contains(kBadByte))
            useBytes(o.text);
    }

    // Whether the bytes of `block` can be searched on their own: folding
    // ASCII letters finds every case of a needle except the Kelvin sign and
    // the long s, which fold to k and s; the expression engine over many
    // lines takes valid UTF-8 only (the caller copies other bytes valid for
    // it).
    bool bytesFit(const char* block, qsizetype n) const
    {
        if (!bytes)
            return engineBytes && validUtf8Length(block, n) == n;
        if (!folds)
            return true;
        static const ByteFinder kelvin(QByteArrayLiteral("\xE2\x84\xAA"), false);
        static const ByteFinder longS(QByteArrayLiteral("\xC5\xBF"), false);
        return kelvin.find(block, n) < 0 && longS.find(block, n) < 0;
    }

    // How the candidates of one block of lines are looked for: all lines at
    // once, or, once the engine gave up on that, each line on its own.
    struct Block {
        bool lineByLine = false;
        // The bytes are not valid UTF-8, and the engine takes them as they are.
        bool raw = false;
    };

    // The offset of the first byte candidate at or after `from`, the start
    // of a line, or -1.
    qsizetype nextInBytes(const char* block, qsizetype from, qsizetype n, Block& state)
    {
        if (bytes) {
            for (;;) {
                const qsizetype at = finder.find(block, n, from);
                if (at < 0 || !engineBytes)
                    return at;
                // A text as common as "." is in most lines: the line meets
                // the expression on its bytes before it is decoded.
                const auto [start, end] = lineAround(block, from, at, n);
                if (lineMayMatch(block + start, end - start))
                    return at;
                from = end + 1;
                if (from >= n)
                    return -1;
            }
        }
        if (!engineBytes)
            return -1;
        qsizetype length = 0;
        while (from < n) {
            qsizetype end = n;
            if (state.lineByLine) {
                const void* nl = memchr(block + from, '\n', size_t(n - from));
                end = nl ? static_cast<const char*>(nl) - block : n;
            }
            const qsizetype at =
                state.raw ? match8(chunk8raw, block, end, from, &length, 0)
                          : match8(chunk8, block, end, from, &length, PatternEngine::Checked);
            if (at >= 0)
                return at;
            if (at == PatternEngine::Stopped)
                return -1;
            if (at == PatternEngine::GaveUp) {
                // The line where it started is scanned on its own, and from
                // there on every line is.
                state.lineByLine = true;
                return from;
            }
            if (!state.lineByLine)
                return -1;
            from = end + 1;
        }
        return -1;
    }

    // The position of a candidate at or after `from` in decoded text (lines
    // joined by line feeds), or -1. The line that holds it is scanned.
    qsizetype nextInText(const QString& text, qsizetype from, Block& state) const
    {
        if (!options.regExp)
            return text.indexOf(options.text, from,
                                options.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
        if (!chunked || state.lineByLine)
            return from < text.size() ? from : -1;
        qsizetype length = 0;
        const qsizetype at = match16(chunk, text, from, &length, 0);
        if (at == PatternEngine::Stopped)
            return -1;
        if (at == PatternEngine::GaveUp) {
            state.lineByLine = true;
            return from;
        }
        return at;
    }

    // Calls hit(pos, length) for each hit in one line, left to right; false
    // when the expression engine could not decide on the line (the hits
    // before stand).
    template <class Hit> bool scan(const QString& text, Hit&& hit) const
    {
        const Qt::CaseSensitivity cs =
            options.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
        qsizetype pos = 0;
        while (pos <= text.size()) {
            qsizetype at;
            qsizetype length;
            if (options.regExp) {
                at = match16(line, text, pos, &length, 0);
                if (at == PatternEngine::GaveUp)
                    return false;
                if (at == PatternEngine::Stopped)
                    return true;
            } else {
                at = text.indexOf(options.text, pos, cs);
                length = options.text.size();
                if (at >= 0 && options.wholeWord &&
                    ((at > 0 && isWordChar(text.at(at - 1))) ||
                     (at + length < text.size() && isWordChar(text.at(at + length))))) {
                    pos = at + length;
                    continue;
                }
            }
            if (at < 0 || length == 0)
                return true;
            if (!hit(at, length))
                return true;
            pos = at + length;
        }
        return true;
    }

    // How the engines match: set by the search, which makes a match over a
    // long subject, or one the engine gave up on, aside (FileSearch::Private
    // ::decide()); GaveUp only where that cannot decide, Stopped when the
    // search was cancelled meanwhile.
    std::function<qsizetype(const PatternEngine&, QStringView, qsizetype, qsizetype*, int)> match16;
    std::function<qsizetype(const PatternEngine&, const char*, qsizetype, qsizetype, qsizetype*,
                            int)>
        match8;

    const SearchOptions options;
    bool valid = false;
    QString error;
    PatternEngine line;
    PatternEngine chunk;
    PatternEngine chunk8;
    // The same for bytes that are not valid UTF-8.
    PatternEngine chunk8raw;
    bool chunked = false;
    // Candidates are found on the bytes: as a text with ASCII letters folded
    // or not, by the expression engine, or both (the text, then the engine
    // on its line).
    bool engineBytes = false;
    bool rawBytes = false;
    bool bytes = false;
    bool folds = false;
    ByteFinder finder;

private:
    // Whether the expression matches one line of UTF-8, or gave up on it.
    bool lineMayMatch(const char* p, qsizetype n)
    {
        // The line is decoded without a mark at its start.
        if (n >= 3 && memcmp(p, "\xEF\xBB\xBF", 3) == 0) {
            p += 3;
            n -= 3;
        }
        qsizetype length = 0;
        qsizetype at;
        if (validUtf8Length(p, n) == n) {
            at = match8(chunk8, p, n, 0, &length, PatternEngine::Checked);
        } else if (rawBytes) {
            at = match8(chunk8raw, p, n, 0, &length, 0);
        } else {
            lineCopy.assign(p, n);
            at = match8(chunk8, lineCopy.data(), lineCopy.size(), 0, &length,
                        PatternEngine::Checked);
        }
        return at != PatternEngine::NoMatch;
    }

    // A valid copy of a line that is not valid UTF-8.
    Utf8Repair lineCopy;

    void useBytes(const QString& text)
    {
        bytes = true;
        finder = ByteFinder(text.toUtf8(), !options.caseSensitive);
        folds = !options.caseSensitive && (text.contains(QLatin1Char('k'), Qt::CaseInsensitive) ||
                                           text.contains(QLatin1Char('s'), Qt::CaseInsensitive));
    }
};

} // namespace

} // namespace vexa

#endif
