#include "xqwidgets/xqeditor/patternengine.h"

#define PCRE2_CODE_UNIT_WIDTH 0
#include <pcre2.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace xqwidgets
{

namespace
{

std::atomic<quint64> g_gaveUp{0};

// Memory the interpreter may take for one match (KiB). Its depth (which the
// JIT counts as work too) is bounded by the match's limit of work.
constexpr uint32_t kHeapLimitKiB = 64 * 1024;
// The JIT stack: room for a repeated group over a line of a few megabytes;
// only the part used is ever touched.
constexpr size_t kJitStackStart = 32 * 1024;
constexpr size_t kJitStackMax = 16 * 1024 * 1024;
// How many times a match's limit of work backtracking is given in
// matchFully(), and the work per unit of a long subject its plain match
// may take there.
constexpr quint64 kMoreWork = 1000;
constexpr quint32 kWorkPerUnit = 64;

// The two code unit widths of the library under one set of names.
template <int Width> struct Api;

#define XQ_PCRE2_API(W, CHAR)                                                                      \
    template <> struct Api<W> {                                                                    \
        using Code = pcre2_code_##W;                                                               \
        using MatchData = pcre2_match_data_##W;                                                    \
        using MatchContext = pcre2_match_context_##W;                                              \
        using CompileContext = pcre2_compile_context_##W;                                          \
        using JitStack = pcre2_jit_stack_##W;                                                      \
        using Sptr = PCRE2_SPTR##W;                                                                \
        using Char = CHAR;                                                                         \
        using Callout = pcre2_callout_block_##W;                                                   \
        static CompileContext* compileContext()                                                    \
        {                                                                                          \
            return pcre2_compile_context_create_##W(nullptr);                                      \
        }                                                                                          \
        static void free(CompileContext* c) { pcre2_compile_context_free_##W(c); }                 \
        static void setNewline(CompileContext* c) { pcre2_set_newline_##W(c, PCRE2_NEWLINE_LF); }  \
        static Code* compile(Sptr p, size_t n, uint32_t o, int* e, PCRE2_SIZE* at,                 \
                             CompileContext* c)                                                    \
        {                                                                                          \
            return pcre2_compile_##W(p, n, o, e, at, c);                                           \
        }                                                                                          \
        static int jitCompile(Code* c, uint32_t o) { return pcre2_jit_compile_##W(c, o); }         \
        static void free(Code* c) { pcre2_code_free_##W(c); }                                      \
        static MatchData* matchData(Code* c)                                                       \
        {                                                                                          \
            return pcre2_match_data_create_from_pattern_##W(c, nullptr);                           \
        }                                                                                          \
        static void free(MatchData* m) { pcre2_match_data_free_##W(m); }                           \
        static MatchContext* matchContext() { return pcre2_match_context_create_##W(nullptr); }    \
        static void free(MatchContext* m) { pcre2_match_context_free_##W(m); }                     \
        static void setHeapLimit(MatchContext* m) { pcre2_set_heap_limit_##W(m, kHeapLimitKiB); }  \
        static void setMatchLimit(MatchContext* m, uint32_t work)                                  \
        {                                                                                          \
            pcre2_set_match_limit_##W(m, work);                                                    \
            pcre2_set_depth_limit_##W(m, work);                                                    \
        }                                                                                          \
        static void unlimited(MatchContext* m)                                                     \
        {                                                                                          \
            pcre2_set_match_limit_##W(m, 0xFFFFFFFFu);                                             \
            pcre2_set_depth_limit_##W(m, 0xFFFFFFFFu);                                             \
        }                                                                                          \
        static void setCallout(MatchContext* m, int (*f)(Callout*, void*), void* data)             \
        {                                                                                          \
            pcre2_set_callout_##W(m, f, data);                                                     \
        }                                                                                          \
        static int dfaMatch(const Code* c, Sptr s, size_t n, size_t from, uint32_t o,              \
                            MatchData* m, MatchContext* x, int* ws, size_t wsCount)                \
        {                                                                                          \
            return pcre2_dfa_match_##W(c, s, n, from, o, m, x, ws, wsCount);                       \
        }                                                                                          \
        static JitStack* jitStack()                                                                \
        {                                                                                          \
            return pcre2_jit_stack_create_##W(kJitStackStart, kJitStackMax, nullptr);              \
        }                                                                                          \
        static void free(JitStack* s) { pcre2_jit_stack_free_##W(s); }                             \
        static void assign(MatchContext* m, JitStack* s)                                           \
        {                                                                                          \
            pcre2_jit_stack_assign_##W(m, nullptr, s);                                             \
        }                                                                                          \
        static int match(const Code* c, Sptr s, size_t n, size_t from, uint32_t o, MatchData* m,   \
                         MatchContext* x)                                                          \
        {                                                                                          \
            return pcre2_match_##W(c, s, n, from, o, m, x);                                        \
        }                                                                                          \
        static PCRE2_SIZE* ovector(MatchData* m) { return pcre2_get_ovector_pointer_##W(m); }      \
        static void message(int e, QString* out)                                                   \
        {                                                                                          \
            Char buf[256];                                                                         \
            const int n = pcre2_get_error_message_##W(e, buf, sizeof buf / sizeof *buf);           \
            *out = n > 0 ? messageText(buf, n) : QString();                                        \
        }                                                                                          \
    };

inline QString messageText(const PCRE2_UCHAR8* s, int n)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(s), n);
}
inline QString messageText(const PCRE2_UCHAR16* s, int n)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(s), n);
}

XQ_PCRE2_API(8, PCRE2_UCHAR8)
XQ_PCRE2_API(16, PCRE2_UCHAR16)
#undef XQ_PCRE2_API

// Frees each of the engine's objects that was made, in the order given.
template <int W, typename... Object> void freeEach(Object*... objects)
{
    ((objects ? Api<W>::free(objects) : void()), ...);
}

// One JIT stack per thread and width, made at the first match that needs it.
template <int W> typename Api<W>::JitStack* threadJitStack()
{
    struct Holder {
        typename Api<W>::JitStack* stack = Api<W>::jitStack();
        ~Holder()
        {
            if (stack)
                Api<W>::free(stack);
        }
    };
    thread_local Holder holder;
    return holder.stack;
}

// A race of two ways to decide a match, each ended by the calls a match
// with callouts makes (one before each item of the expression) once the
// caller stops or the other way has decided.
struct Race {
    const std::atomic<bool>* stop = nullptr;
    std::atomic<bool> decided{false};
};

template <int W> int raceCallout(typename Api<W>::Callout*, void* race)
{
    const auto* r = static_cast<const Race*>(race);
    return r->stop->load(std::memory_order_relaxed) || r->decided.load(std::memory_order_relaxed)
               ? PCRE2_ERROR_CALLOUT
               : 0;
}

bool decided(qsizetype at)
{
    return at >= 0 || at == PatternEngine::NoMatch || at == PatternEngine::Partial;
}

bool isUtfError(int rc)
{
    return rc == PCRE2_ERROR_BADUTFOFFSET ||
           (rc <= PCRE2_ERROR_UTF8_ERR1 && rc >= PCRE2_ERROR_UTF8_ERR21) ||
           (rc <= PCRE2_ERROR_UTF16_ERR1 && rc >= PCRE2_ERROR_UTF16_ERR3);
}

// The plain backtracking match with a work limit that grows with the
// subject, which decides most matches soonest but cannot be stopped: it runs
// on a thread that owns all it uses (its own compiled expression, a copy of
// the subject), so that it can be left to end on its own, within its limit,
// once the caller no longer waits for it.
template <int W> struct GenerousMatch {
    std::vector<typename Api<W>::Char> pattern;
    uint32_t options = 0;
    std::vector<typename Api<W>::Char> subject;
    qsizetype from = 0;
    uint32_t matchOptions = 0;
    quint64 work = 0;
    std::shared_ptr<Race> race;
    std::atomic<bool> done{false};
    qsizetype at = PatternEngine::GaveUp;
    qsizetype length = 0;

    void run()
    {
        auto* cc = Api<W>::compileContext();
        Api<W>::setNewline(cc);
        int error = 0;
        PCRE2_SIZE offset = 0;
        auto* code = Api<W>::compile(pattern.data(), pattern.size(), options, &error, &offset, cc);
        Api<W>::free(cc);
        auto* data = code ? Api<W>::matchData(code) : nullptr;
        auto* context = code ? Api<W>::matchContext() : nullptr;
        if (data && context) {
            if (Api<W>::jitCompile(code, PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD) == 0)
                Api<W>::assign(context, threadJitStack<W>());
            Api<W>::setHeapLimit(context);
            Api<W>::setMatchLimit(context, uint32_t(qMin<quint64>(work, 0xFFFFFFFFu)));
            static const typename Api<W>::Char empty = 0;
            const int rc = Api<W>::match(code, subject.empty() ? &empty : subject.data(),
                                         subject.size(), size_t(from), matchOptions, data, context);
            if (rc == PCRE2_ERROR_PARTIAL) {
                at = PatternEngine::Partial;
            } else if (rc == PCRE2_ERROR_NOMATCH || isUtfError(rc)) {
                at = PatternEngine::NoMatch;
            } else if (rc >= 0) {
                const PCRE2_SIZE* ov = Api<W>::ovector(data);
                at = qsizetype(ov[0]);
                length = qsizetype(ov[1]) - qsizetype(ov[0]);
            }
        }
        freeEach<W>(data, context, code);
        if (decided(at))
            race->decided = true;
        done = true;
    }
};

template <int W> struct Compiled {
    typename Api<W>::Code* code = nullptr;
    typename Api<W>::MatchData* data = nullptr;
    typename Api<W>::MatchContext* context = nullptr;
    bool jit = false;
    // The expression as the engine takes it and its options, for the form
    // with callouts that matchFully() makes when it first needs it.
    std::vector<typename Api<W>::Char> pattern;
    uint32_t options = 0;
    // The forms with a callout before each item, which end a match soon
    // after its flag is set: for backtracking, and without the mode for
    // invalid UTF, which the match without backtracking does not take. Each
    // has its own match data and context: they run at the same time.
    struct Stoppable {
        typename Api<W>::Code* code = nullptr;
        typename Api<W>::Code* dfa = nullptr;
        typename Api<W>::MatchData* data = nullptr;
        typename Api<W>::MatchContext* context = nullptr;
        typename Api<W>::MatchData* dfaData = nullptr;
        typename Api<W>::MatchContext* dfaContext = nullptr;
        std::vector<int> workspace;
        ~Stoppable() { freeEach<W>(data, dfaData, context, dfaContext, code, dfa); }
    };
    mutable std::unique_ptr<Stoppable> stoppable;

    ~Compiled() { freeEach<W>(data, context, code); }

    bool compile(const QString& expression, uint32_t flags, QString* error)
    {
        if constexpr (W == 8) {
            const QByteArray utf8 = expression.toUtf8();
            pattern.assign(utf8.cbegin(), utf8.cend());
        } else {
            pattern.assign(expression.utf16(), expression.utf16() + expression.size());
        }
        options = flags;
        auto* cc = Api<W>::compileContext();
        Api<W>::setNewline(cc);
        int code_ = 0;
        PCRE2_SIZE at = 0;
        code = Api<W>::compile(pattern.data(), pattern.size(), options, &code_, &at, cc);
        Api<W>::free(cc);
        if (!code) {
            if (error)
                Api<W>::message(code_, error);
            return false;
        }
        jit = Api<W>::jitCompile(code, PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD) == 0;
        data = Api<W>::matchData(code);
        context = Api<W>::matchContext();
        Api<W>::setHeapLimit(context);
        if (jit)
            Api<W>::assign(context, threadJitStack<W>());
        return data && context;
    }

    static uint32_t matchOptions(int flags, bool vouched)
    {
        uint32_t options = 0;
        if (flags & PatternEngine::Anchored)
            options |= PCRE2_ANCHORED;
        if (vouched)
            options |= PCRE2_NO_UTF_CHECK;
        if (flags & PatternEngine::PartialHard)
            options |= PCRE2_PARTIAL_HARD;
        if (flags & PatternEngine::NotEmptyAtStart)
            options |= PCRE2_NOTEMPTY_ATSTART;
        return options;
    }

    qsizetype match(typename Api<W>::Sptr subject, qsizetype size, qsizetype from,
                    qsizetype* length, int flags, PatternEngine::Limit limit, bool vouched) const
    {
        const quint64 work = quint64(limit.base) + quint64(limit.perUnit) * quint64(size - from);
        Api<W>::setMatchLimit(context, uint32_t(qMin<quint64>(work, 0xFFFFFFFFu)));
        // The JIT stack belongs to the thread that matches.
        if (jit)
            Api<W>::assign(context, threadJitStack<W>());
        const int rc = Api<W>::match(code, subject, size_t(size), size_t(from),
                                     matchOptions(flags, vouched), data, context);
        if (rc == PCRE2_ERROR_PARTIAL)
            return PatternEngine::Partial;
        if (rc < 0) {
            // A subject that is not valid UTF matches nothing.
            if (rc == PCRE2_ERROR_NOMATCH || isUtfError(rc))
                return PatternEngine::NoMatch;
            // The match, depth, heap or JIT stack limit: the engine gave up.
            ++g_gaveUp;
            return PatternEngine::GaveUp;
        }
        const PCRE2_SIZE* ov = Api<W>::ovector(data);
        *length = qsizetype(ov[1]) - qsizetype(ov[0]);
        return qsizetype(ov[0]);
    }

    typename Api<W>::Code* compileStoppable(uint32_t flags) const
    {
        auto* cc = Api<W>::compileContext();
        Api<W>::setNewline(cc);
        int error = 0;
        PCRE2_SIZE at = 0;
        auto* c = Api<W>::compile(pattern.data(), pattern.size(), flags | PCRE2_AUTO_CALLOUT,
                                  &error, &at, cc);
        Api<W>::free(cc);
        return c;
    }

    Stoppable* makeStoppable() const
    {
        if (stoppable)
            return stoppable->data ? stoppable.get() : nullptr;
        stoppable = std::make_unique<Stoppable>();
        auto& s = *stoppable;
        s.code = compileStoppable(options);
        s.dfa = compileStoppable(options & ~PCRE2_MATCH_INVALID_UTF);
        if (s.code && s.dfa) {
            Api<W>::jitCompile(s.code, PCRE2_JIT_COMPLETE | PCRE2_JIT_PARTIAL_HARD);
            s.data = Api<W>::matchData(s.code);
            s.context = Api<W>::matchContext();
            s.dfaData = Api<W>::matchData(s.dfa);
            s.dfaContext = Api<W>::matchContext();
        }
        if (!s.data || !s.context || !s.dfaData || !s.dfaContext) {
            stoppable = std::make_unique<Stoppable>();
            return nullptr;
        }
        Api<W>::setHeapLimit(s.context);
        Api<W>::setHeapLimit(s.dfaContext);
        Api<W>::unlimited(s.dfaContext);
        s.workspace.resize(4096);
        return stoppable.get();
    }

    // Backtracking with `work` units at most, on the form with callouts.
    qsizetype backtrack(Stoppable* s, typename Api<W>::Sptr subject, qsizetype size, qsizetype from,
                        qsizetype* length, uint32_t o, quint64 work) const
    {
        Api<W>::setMatchLimit(s->context, uint32_t(qMin<quint64>(work, 0xFFFFFFFFu)));
        Api<W>::assign(s->context, threadJitStack<W>());
        const int rc =
            Api<W>::match(s->code, subject, size_t(size), size_t(from), o, s->data, s->context);
        if (rc == PCRE2_ERROR_CALLOUT)
            return PatternEngine::Stopped;
        if (rc == PCRE2_ERROR_PARTIAL)
            return PatternEngine::Partial;
        if (rc == PCRE2_ERROR_NOMATCH || isUtfError(rc))
            return PatternEngine::NoMatch;
        if (rc < 0)
            return PatternEngine::GaveUp;
        const PCRE2_SIZE* ov = Api<W>::ovector(s->data);
        *length = qsizetype(ov[1]) - qsizetype(ov[0]);
        return qsizetype(ov[0]);
    }

    // The match without backtracking: where the first match starts and, in
    // `longest`, its longest length (with Minimal its shortest); GaveUp
    // where it cannot take the expression or the subject.
    qsizetype followAllWays(Stoppable* s, typename Api<W>::Sptr subject, qsizetype size,
                            qsizetype from, qsizetype* longest, int flags) const
    {
        // It takes valid UTF only: unless the caller vouched for the
        // subject, it checks it.
        const uint32_t o = matchOptions(flags, flags & PatternEngine::Checked) |
                           ((options & PCRE2_UNGREEDY) ? PCRE2_DFA_SHORTEST : 0);
        int rc;
        for (;;) {
            rc = Api<W>::dfaMatch(s->dfa, subject, size_t(size), size_t(from), o, s->dfaData,
                                  s->dfaContext, s->workspace.data(), s->workspace.size());
            if (rc != PCRE2_ERROR_DFA_WSSIZE || s->workspace.size() >= (size_t(1) << 24))
                break;
            s->workspace.resize(s->workspace.size() * 4);
        }
        if (rc == PCRE2_ERROR_CALLOUT)
            return PatternEngine::Stopped;
        if (rc == PCRE2_ERROR_PARTIAL)
            return PatternEngine::Partial;
        if (rc == PCRE2_ERROR_NOMATCH || (isUtfError(rc) && !(options & PCRE2_MATCH_INVALID_UTF)))
            return PatternEngine::NoMatch;
        if (rc < 0)
            return PatternEngine::GaveUp;
        // Every match (0: more than there is room for) at the first place
        // one starts, the longest first.
        const PCRE2_SIZE* ov = Api<W>::ovector(s->dfaData);
        *longest = qsizetype(ov[1]) - qsizetype(ov[0]);
        return qsizetype(ov[0]);
    }

    qsizetype matchFully(typename Api<W>::Sptr subject, qsizetype size, qsizetype from,
                         qsizetype* length, int flags, PatternEngine::Limit limit, bool vouched,
                         const std::atomic<bool>& stop, bool gaveUp) const
    {
        if (!gaveUp) {
            const qsizetype at = match(subject, size, from, length, flags, limit, vouched);
            if (at != PatternEngine::GaveUp)
                return at;
        }
        if (stop.load())
            return PatternEngine::Stopped;
        Stoppable* s = makeStoppable();
        if (!s)
            return PatternEngine::GaveUp;
        // Three ways at the same time, the first to decide ending the
        // others: on a long subject the plain match with a limit that grows
        // with it (left to end on its own if it is still running when this
        // returns); backtracking with a thousand times the work; and the
        // match without backtracking. Backtracking is quick where what
        // follows each step fails soon, the other way where the ways to try
        // multiply.
        auto shared = std::make_shared<Race>();
        Race& race = *shared;
        race.stop = &stop;
        std::shared_ptr<GenerousMatch<W>> generous;
        if (size - from > PatternEngine::longSubject / 16) {
            generous = std::make_shared<GenerousMatch<W>>();
            generous->pattern = pattern;
            generous->options = options;
            generous->subject.assign(subject, subject + size);
            generous->from = from;
            generous->matchOptions = matchOptions(flags, vouched);
            generous->work = quint64(limit.base) + quint64(kWorkPerUnit) * quint64(size - from);
            generous->race = shared;
            std::thread([generous] { generous->run(); }).detach();
        }
        Api<W>::setCallout(s->context, &raceCallout<W>, &race);
        Api<W>::setCallout(s->dfaContext, &raceCallout<W>, &race);
        qsizetype btLength = 0;
        qsizetype btAt = PatternEngine::Stopped;
        std::thread backtracking([&] {
            btAt = backtrack(s, subject, size, from, &btLength, matchOptions(flags, vouched),
                             quint64(limit.base) * kMoreWork);
            if (decided(btAt))
                race.decided = true;
        });
        qsizetype longest = 0;
        const qsizetype at = followAllWays(s, subject, size, from, &longest, flags);
        if (decided(at))
            race.decided = true;
        backtracking.join();
        if (stop.load())
            return PatternEngine::Stopped;
        if (generous && generous->done && decided(generous->at)) {
            *length = generous->length;
            return generous->at;
        }
        if (decided(btAt)) {
            *length = btLength;
            return btAt;
        }
        if (at >= 0) {
            // The length backtracking gives from there, the one the
            // expression asks for where it prefers one way to another.
            const int anchored = (flags & ~PatternEngine::NotEmptyAtStart) |
                                 PatternEngine::Anchored |
                                 (at == from ? (flags & PatternEngine::NotEmptyAtStart) : 0);
            qsizetype preferred = 0;
            *length = match(subject, size, at, &preferred, anchored, limit, vouched) == at
                          ? preferred
                          : longest;
            return at;
        }
        if (decided(at))
            return at;
        ++g_gaveUp;
        return PatternEngine::GaveUp;
    }
};

} // namespace

struct PatternEngine::Private {
    Unit unit = Utf16;
    bool invalidUtf = false;
    Limit limit;
    Compiled<16> c16;
    Compiled<8> c8;
    bool valid = false;
};

PatternEngine::PatternEngine() : d(new Private) {}

PatternEngine::~PatternEngine()
{
    delete d;
}

PatternEngine::PatternEngine(PatternEngine&& other) noexcept : d(std::exchange(other.d, nullptr)) {}

PatternEngine& PatternEngine::operator=(PatternEngine&& other) noexcept
{
    std::swap(d, other.d);
    return *this;
}

bool PatternEngine::compile(const QString& expression, Unit unit, int options, QString* error)
{
    const Limit limit = d ? d->limit : Limit();
    delete d;
    d = new Private;
    d->unit = unit;
    d->limit = limit;
    d->invalidUtf = options & InvalidUtf;
    // Unicode throughout: "\w", "\d", "\s" and case folding take every
    // script, as the editor's dialect does.
    uint32_t flags = PCRE2_UTF | PCRE2_UCP;
    if (options & CaseInsensitive)
        flags |= PCRE2_CASELESS;
    if (options & Minimal)
        flags |= PCRE2_UNGREEDY;
    if (options & DotMatchesEverything)
        flags |= PCRE2_DOTALL;
    if (options & Multiline)
        flags |= PCRE2_MULTILINE;
    if (options & InvalidUtf)
        flags |= PCRE2_MATCH_INVALID_UTF;
    d->valid = unit == Utf16 ? d->c16.compile(expression, flags, error)
                             : d->c8.compile(expression, flags, error);
    return d->valid;
}

bool PatternEngine::isValid() const
{
    return d && d->valid;
}

PatternEngine::Unit PatternEngine::unit() const
{
    return d->unit;
}

PatternEngine::Limit PatternEngine::limit() const
{
    return d->limit;
}

void PatternEngine::setLimit(Limit limit)
{
    d->limit = limit;
}

qsizetype PatternEngine::match(QStringView subject, qsizetype from, qsizetype* length,
                               int flags) const
{
    if (!isValid() || d->unit != Utf16 || from < 0 || from > subject.size())
        return NoMatch;
    // A null view still needs a pointer the engine can take.
    static const char16_t empty = 0;
    const auto* s = reinterpret_cast<PCRE2_SPTR16>(subject.isNull() ? &empty : subject.utf16());
    return d->c16.match(s, subject.size(), from, length, flags, d->limit,
                        (flags & Checked) || d->invalidUtf);
}

qsizetype PatternEngine::match(const char* subject, qsizetype size, qsizetype from,
                               qsizetype* length, int flags) const
{
    if (!isValid() || d->unit != Utf8 || from < 0 || from > size)
        return NoMatch;
    static const char empty = 0;
    const auto* s = reinterpret_cast<PCRE2_SPTR8>(subject ? subject : &empty);
    return d->c8.match(s, size, from, length, flags, d->limit, (flags & Checked) || d->invalidUtf);
}

namespace
{

// The windows of matchInWindows(): `match(end, from, flags)` over the
// subject cut at `end`; `cut(end)` moves an end off the middle of a
// character.
template <class Match, class Cut>
qsizetype inWindows(qsizetype size, qsizetype from, int flags, Match&& match, Cut&& cut)
{
    for (qsizetype pos = from;;) {
        if (size - pos <= PatternEngine::longSubject)
            return match(size, pos, flags);
        const qsizetype end = cut(pos + PatternEngine::longSubject);
        const qsizetype at = match(end, pos, flags | PatternEngine::PartialHard);
        if (at >= 0)
            return at;
        // No match starts in the window, or one may go past it.
        if (at != PatternEngine::NoMatch || (flags & PatternEngine::Anchored))
            return at == PatternEngine::NoMatch ? at : PatternEngine::GaveUp;
        pos = end;
        flags &= ~PatternEngine::NotEmptyAtStart;
    }
}

} // namespace

qsizetype PatternEngine::matchInWindows(QStringView subject, qsizetype from, qsizetype* length,
                                        int flags) const
{
    return inWindows(
        subject.size(), from, flags,
        [&](qsizetype end, qsizetype pos, int f) {
            return match(subject.left(end), pos, length, f);
        },
        [&](qsizetype end) { return subject.at(end - 1).isHighSurrogate() ? end - 1 : end; });
}

qsizetype PatternEngine::matchInWindows(const char* subject, qsizetype size, qsizetype from,
                                        qsizetype* length, int flags) const
{
    return inWindows(
        size, from, flags,
        [&](qsizetype end, qsizetype pos, int f) { return match(subject, end, pos, length, f); },
        [&](qsizetype end) {
            qsizetype cut = end;
            while (cut > end - 4 && (static_cast<unsigned char>(subject[cut]) & 0xC0) == 0x80)
                --cut;
            return cut;
        });
}

qsizetype PatternEngine::matchFully(QStringView subject, qsizetype from, qsizetype* length,
                                    const std::atomic<bool>& stop, int flags, bool gaveUp) const
{
    if (!isValid() || d->unit != Utf16 || from < 0 || from > subject.size())
        return NoMatch;
    static const char16_t empty = 0;
    const auto* s = reinterpret_cast<PCRE2_SPTR16>(subject.isNull() ? &empty : subject.utf16());
    return d->c16.matchFully(s, subject.size(), from, length, flags, d->limit,
                             (flags & Checked) || d->invalidUtf, stop, gaveUp);
}

qsizetype PatternEngine::matchFully(const char* subject, qsizetype size, qsizetype from,
                                    qsizetype* length, const std::atomic<bool>& stop, int flags,
                                    bool gaveUp) const
{
    if (!isValid() || d->unit != Utf8 || from < 0 || from > size)
        return NoMatch;
    static const char empty = 0;
    const auto* s = reinterpret_cast<PCRE2_SPTR8>(subject ? subject : &empty);
    return d->c8.matchFully(s, size, from, length, flags, d->limit,
                            (flags & Checked) || d->invalidUtf, stop, gaveUp);
}

quint64 PatternEngine::gaveUpCount()
{
    return g_gaveUp;
}

void runAside(const std::function<void()>& work, std::atomic<bool>& stop,
              const std::function<bool()>& wait, int intervalMs)
{
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread worker([&] {
        work();
        const std::lock_guard<std::mutex> lock(mutex);
        done = true;
        ended.notify_one();
    });
    std::unique_lock<std::mutex> lock(mutex);
    while (!ended.wait_for(lock, std::chrono::milliseconds(intervalMs), [&] { return done; })) {
        if (stop.load() || !wait)
            continue;
        lock.unlock();
        if (!wait())
            stop = true;
        lock.lock();
    }
    lock.unlock();
    worker.join();
}

} // namespace xqwidgets
