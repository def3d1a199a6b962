#ifndef XQWIDGETS_HIGHLIGHT_P_H
#define XQWIDGETS_HIGHLIGHT_P_H

#include <QString>
#include <QtGlobal>

namespace xqwidgets
{

// Drops the parsed definition cached under `key`, so that the next
// TextHighlight of that key reads it again. For the fuzzing harness, which
// loads a different definition under the same key for every input.
void forgetHighlightDefinition(const QString& key);

// Whether the passes give their rules a scan of the line (on by default).
// Off, every match looks at the rest of the line afresh: the plain engine,
// against which tests compare the results.
void setHighlightLineScans(bool on);

// The processor time one run of a pass over a line may take before it stops
// and leaves the rest for a later run: `baseNs` and `perCharNs` for each of
// its characters. Once the runs over one text have taken `giveUpNs` together
// (-1: twenty times a run's time), the rest of the line is left plain; a
// line shorter than the length from which lines keep saved states (8192
// characters) is never given up, only cut and resumed.
void setHighlightLineBudget(qint64 baseNs, qint64 perCharNs, qint64 giveUpNs = -1);

// For tests: the clock (in nanoseconds) the budgets read in place of the
// thread's processor time, such as one that jumps ahead at every reading as
// on a machine too busy to give the thread its time (null: the thread's).
void setHighlightClock(qint64 (*clock)());

// For tests: every run of a pass stops after `steps` of its steps, whatever
// the clock says, so that a cut falls at the same place in every run and on
// every machine (0: the time budget alone decides).
void setHighlightStepBudget(int steps);

} // namespace xqwidgets

#endif
