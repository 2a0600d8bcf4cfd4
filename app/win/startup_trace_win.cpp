// Records start-up phases against the creation time of the process (see the header).
#include "app/win/startup_trace_win.h"

#ifdef QM_STARTUP_TRACE

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace qm::win {

namespace {

struct Mark {
    const char* phase;
    ULONGLONG at;  // 100 ns units since 1601
};

Mark marks[16];
int markCount = 0;

ULONGLONG Now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

}  // namespace

void StartupMark(const char* phase) {
    if (markCount < 16) marks[markCount++] = {phase, Now()};
}

void StartupTraceWrite() {
    const char* path = std::getenv("QM_STARTUP_TRACE_FILE");
    FILETIME created, exited, kernel, user;
    if (!path || !GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return;
    const ULONGLONG start = (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    if (FILE* out = std::fopen(path, "a")) {
        for (int i = 0; i < markCount; ++i) {
            std::fprintf(out, "%s\t%.2f\n", marks[i].phase, static_cast<double>(marks[i].at - start) / 10000.0);
        }
        std::fclose(out);
    }
    markCount = 0;
}

}  // namespace qm::win

#endif
