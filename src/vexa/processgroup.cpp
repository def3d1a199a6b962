#include "vexa/processgroup.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <unistd.h>

namespace vexa
{

// A process bearing the group's number is a newcomer: the number is not
// given out again while a group holds it, so the group emptied before.
bool leaderlessGroupRuns(pid_t group)
{
    if (::kill(group, 0) == 0 || errno == EPERM)
        return false;
    if (::kill(-group, 0) != 0 && errno == ESRCH)
        return false;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return true;
    bool runs = false;
    while (const dirent* e = ::readdir(proc)) {
        if (e->d_name[0] < '1' || e->d_name[0] > '9')
            continue;
        char path[300];
        std::snprintf(path, sizeof path, "/proc/%s/stat", e->d_name);
        FILE* f = std::fopen(path, "re");
        if (!f)
            continue;
        char line[1024];
        const size_t n = std::fread(line, 1, sizeof line - 1, f);
        std::fclose(f);
        line[n] = 0;
        // "pid (name) state ppid pgrp ...": the name may hold anything, so
        // the fields are read after its last parenthesis.
        const char* end = std::strrchr(line, ')');
        char state = 0;
        int ppid = 0, pgrp = 0;
        if (end && std::sscanf(end + 1, " %c %d %d", &state, &ppid, &pgrp) == 3 && pgrp == group &&
            state != 'Z' && state != 'X') {
            runs = true;
            break;
        }
    }
    ::closedir(proc);
    return runs;
}

void endProcessGroup(pid_t group, int graceMs, const std::function<bool()>& leaderDone)
{
    auto runs = [&] { return !leaderDone() || leaderlessGroupRuns(group); };
    if (!runs())
        return;
    ::kill(-group, SIGTERM);
    const QDeadlineTimer grace(graceMs);
    while (runs()) {
        if (grace.hasExpired()) {
            ::kill(-group, SIGKILL);
            break;
        }
        ::usleep(20000);
    }
}

} // namespace vexa
