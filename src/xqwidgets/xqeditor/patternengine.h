#ifndef XQWIDGETS_PATTERNENGINE_H
#define XQWIDGETS_PATTERNENGINE_H

#include <QString>
#include <QStringView>

namespace xqwidgets
{

// One expression compiled for the regular expression engine (PCRE2), in its
// own syntax (Pattern::translate() gives it from the editor's dialect), for
// subjects of UTF-16 text or of UTF-8 bytes.
//
// A match neither copies its subject nor allocates: the expression is compiled
// once, with the JIT where the machine has one, and keeps its match data for
// the next call; the JIT stack is one per thread. So one engine serves one
// thread at a time.
//
// The work of one match is bounded: past a limit that grows with the subject's
// length, the match gives up and says so (GaveUp), so an expression that
// backtracks without end (such as "(x+x+)+y" on a line of x's) costs a
// bounded time per line instead of freezing the program, and the caller can
// tell "no match" from "not known".
class PatternEngine
{
public:
    enum Unit { Utf16, Utf8 };
    enum Option {
        CaseInsensitive = 0x1,
        Minimal = 0x2, // repeats take as little as they can
        DotMatchesEverything = 0x4,
        Multiline = 0x8, // "^" and "$" also at line feeds inside the subject
        // A subject with units that are not valid UTF (lone surrogates, bad
        // bytes) is matched in its valid parts; without it such a subject
        // matches nothing, unless the caller vouches for it (Checked).
        InvalidUtf = 0x10,
    };
    enum MatchFlag {
        Anchored = 0x1, // the match must begin at `from`
        Checked = 0x2,  // the caller knows the subject is valid UTF
        // A match that more text after the subject could change is reported
        // as Partial instead of as a match or no match.
        PartialHard = 0x4,
    };
    // Results of a match besides the offset of a match found.
    static constexpr qsizetype NoMatch = -1;
    static constexpr qsizetype GaveUp = -2;
    static constexpr qsizetype Partial = -3;

    // Units of work a match may take before it gives up: `base`, plus
    // `perUnit` for each unit of the subject from where the match starts.
    struct Limit {
        quint32 base = 200000;
        quint32 perUnit = 64;
    };

    PatternEngine();
    ~PatternEngine();
    PatternEngine(PatternEngine&& other) noexcept;
    PatternEngine& operator=(PatternEngine&& other) noexcept;
    PatternEngine(const PatternEngine&) = delete;
    PatternEngine& operator=(const PatternEngine&) = delete;

    // Compiles `expression` for subjects of `unit`; false, with the engine's
    // message in `error`, when it does not compile.
    bool compile(const QString& expression, Unit unit, int options, QString* error = nullptr);
    bool isValid() const;
    Unit unit() const;

    Limit limit() const;
    void setLimit(Limit limit);

    // The first match in `subject` at or after `from` (in units): its offset
    // and, in `length`, its length; or NoMatch, GaveUp or Partial. Characters
    // before `from` are still seen by look-behinds and "\b".
    qsizetype match(QStringView subject, qsizetype from, qsizetype* length, int flags = 0) const;
    qsizetype match(const char* subject, qsizetype size, qsizetype from, qsizetype* length,
                    int flags = 0) const;

    // Matches given up so far in this process, for tests.
    static quint64 gaveUpCount();

private:
    struct Private;
    Private* d;
};

} // namespace xqwidgets

#endif
