#include "xqwidgets/xqeditor/patternengine.h"

#define PCRE2_CODE_UNIT_WIDTH 0
#include <pcre2.h>

#include <atomic>
#include <utility>

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

template <int W> struct Compiled {
    typename Api<W>::Code* code = nullptr;
    typename Api<W>::MatchData* data = nullptr;
    typename Api<W>::MatchContext* context = nullptr;
    bool jit = false;

    ~Compiled()
    {
        if (data)
            Api<W>::free(data);
        if (context)
            Api<W>::free(context);
        if (code)
            Api<W>::free(code);
    }

    bool compile(const QString& expression, uint32_t options, QString* error)
    {
        const QByteArray utf8 = W == 8 ? expression.toUtf8() : QByteArray();
        typename Api<W>::Sptr pattern;
        size_t size;
        if constexpr (W == 8) {
            pattern = reinterpret_cast<typename Api<W>::Sptr>(utf8.constData());
            size = size_t(utf8.size());
        } else {
            pattern = reinterpret_cast<typename Api<W>::Sptr>(expression.utf16());
            size = size_t(expression.size());
        }
        auto* cc = Api<W>::compileContext();
        Api<W>::setNewline(cc);
        int code_ = 0;
        PCRE2_SIZE at = 0;
        code = Api<W>::compile(pattern, size, options, &code_, &at, cc);
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

    qsizetype match(typename Api<W>::Sptr subject, qsizetype size, qsizetype from,
                    qsizetype* length, int flags, PatternEngine::Limit limit, bool vouched) const
    {
        uint32_t options = 0;
        if (flags & PatternEngine::Anchored)
            options |= PCRE2_ANCHORED;
        if (vouched)
            options |= PCRE2_NO_UTF_CHECK;
        if (flags & PatternEngine::PartialHard)
            options |= PCRE2_PARTIAL_HARD;
        const quint64 work = quint64(limit.base) + quint64(limit.perUnit) * quint64(size - from);
        Api<W>::setMatchLimit(context, uint32_t(qMin<quint64>(work, 0xFFFFFFFFu)));
        // The JIT stack belongs to the thread that matches.
        if (jit)
            Api<W>::assign(context, threadJitStack<W>());
        const int rc =
            Api<W>::match(code, subject, size_t(size), size_t(from), options, data, context);
        if (rc == PCRE2_ERROR_PARTIAL)
            return PatternEngine::Partial;
        if (rc < 0) {
            // A subject that is not valid UTF matches nothing.
            if (rc == PCRE2_ERROR_NOMATCH || rc == PCRE2_ERROR_BADUTFOFFSET ||
                (rc <= PCRE2_ERROR_UTF8_ERR1 && rc >= PCRE2_ERROR_UTF8_ERR21) ||
                (rc <= PCRE2_ERROR_UTF16_ERR1 && rc >= PCRE2_ERROR_UTF16_ERR3))
                return PatternEngine::NoMatch;
            // The match, depth, heap or JIT stack limit: the engine gave up.
            ++g_gaveUp;
            return PatternEngine::GaveUp;
        }
        const PCRE2_SIZE* ov = Api<W>::ovector(data);
        *length = qsizetype(ov[1]) - qsizetype(ov[0]);
        return qsizetype(ov[0]);
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

quint64 PatternEngine::gaveUpCount()
{
    return g_gaveUp;
}

} // namespace xqwidgets
