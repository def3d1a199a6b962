#ifndef VEXA_PROCESSGROUP_H
#define VEXA_PROCESSGROUP_H

#include <functional>
#include <sys/types.h>

namespace vexa
{

// Programs the editor starts (build commands, ctags) run as a process group
// of their own, so that ending them reaches what they started too, not only
// the program named.

// Whether a process group whose leader has ended and been reaped still holds
// a running process (zombies, left for a parent to reap, run nothing).
bool leaderlessGroupRuns(pid_t group);

// Ends a group: SIGTERM to all of it, up to `graceMs` for it to empty, then
// SIGKILL to what is left. Blocks. `leaderDone` tells whether the leader has
// ended and been reaped (it may reap it).
void endProcessGroup(pid_t group, int graceMs, const std::function<bool()>& leaderDone);

} // namespace vexa

#endif
