#ifndef XQWIDGETS_PATTERNENGINE_H
#define XQWIDGETS_PATTERNENGINE_H

#include <QString>
#include <QStringView>

#include <atomic>
#include <functional>

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
// The work of one match() is bounded: past a limit, the match gives up and
// says so (GaveUp), so an expression that backtracks without end (such as
// "(x+x+)+y" on a line of x's) costs a bounded time (some tens of
// milliseconds) instead of freezing the program, and the caller can tell
// "no match" from "not known". matchFully() then decides what match() could
// not, with as much work as that takes, and can be stopped at any moment:
// it is meant for a thread of its own (runAside()).
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
        // No match of nothing at `from` (there may be one further on).
        NotEmptyAtStart = 0x8,
    };
    // Results of a match besides the offset of a match found.
    static constexpr qsizetype NoMatch = -1;
    static constexpr qsizetype GaveUp = -2;
    static constexpr qsizetype Partial = -3;
    static constexpr qsizetype Stopped = -4;

    // Units of work a match may take before it gives up: `base`, plus
    // `perUnit` for each unit of the subject from where the match starts.
    // A unit of work can cost a scan of the rest of the subject, so the
    // default grows with nothing: what it bounds is the time.
    struct Limit {
        quint32 base = 100000;
        quint32 perUnit = 0;
    };
    // Subjects longer than this (from where the match starts) may take more
    // than some tens of milliseconds even within the limit (a unit of work
    // can cost a scan of the rest of the subject): a match over one belongs
    // on a thread of its own, with matchFully().
    static constexpr qsizetype longSubject = qsizetype(1) << 16;

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

    // The first match like match(), over a long subject a window of
    // longSubject units at a time, so that no call takes long: GaveUp also
    // where a match may reach past its window (matchFully() decides that).
    qsizetype matchInWindows(QStringView subject, qsizetype from, qsizetype* length,
                             int flags = 0) const;
    qsizetype matchInWindows(const char* subject, qsizetype size, qsizetype from, qsizetype* length,
                             int flags = 0) const;

    // The first match like match(), for a match that gave up there or whose
    // subject is long: the backtracking match within the limit first; then
    // a match that does not backtrack (it follows every way through the
    // expression at once along the subject) finds where the first match
    // starts, and its length is the backtracking match's from there or,
    // where that still gives up, the longest (with Minimal the shortest);
    // an expression that match cannot take (a back reference) backtracks
    // without a limit of work. GaveUp only where all of that gives up;
    // Stopped soon (within some tens of milliseconds) after `stop` is set.
    // Uses the engine as match() does: one thread at a time.
    // `gaveUp` tells that match() just gave up there, which is not tried again.
    qsizetype matchFully(QStringView subject, qsizetype from, qsizetype* length,
                         const std::atomic<bool>& stop, int flags = 0, bool gaveUp = false) const;
    qsizetype matchFully(const char* subject, qsizetype size, qsizetype from, qsizetype* length,
                         const std::atomic<bool>& stop, int flags = 0, bool gaveUp = false) const;

    // Matches given up so far in this process, for tests.
    static quint64 gaveUpCount();

private:
    struct Private;
    Private* d;
};

// Runs `work` on a thread of its own while the calling thread calls `wait`
// about every `intervalMs` milliseconds (it may run the event loop there);
// `wait` returning false sets `stop`, which `work` is to honour. Returns
// once `work` has ended.
void runAside(const std::function<void()>& work, std::atomic<bool>& stop,
              const std::function<bool()>& wait, int intervalMs = 10);

} // namespace xqwidgets

#endif
