#ifndef XQWIDGETS_PATTERN_P_H
#define XQWIDGETS_PATTERN_P_H

#include <QtGlobal>

namespace xqwidgets
{

// What patterns spent looking past the position they match at: searches of
// the rest of a line, looks for a pattern's required text, and checks of a
// whole subject's encoding by the regular expression engine, each with the
// characters it covered (up to the end of what it found, else to the end of
// the text). For tests, which check that a line costs in proportion to its
// length; the figures only ever grow.
struct PatternSearchCounters {
    quint64 searches = 0;
    quint64 characters = 0;
};
PatternSearchCounters& patternSearchCounters();

// Calls of the regular expression engine so far: a highlighting pass looks
// at the clock after a few of them, since one may run long.
quint64 patternEngineCalls();

} // namespace xqwidgets

#endif
