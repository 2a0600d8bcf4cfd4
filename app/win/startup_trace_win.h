// Time stamps of the start-up phases, for the start-up benchmark only. A build made
// with QM_STARTUP_TRACE records them and appends them, as milliseconds since the
// process was created, to the file named by the environment variable
// QM_STARTUP_TRACE_FILE; every other build compiles the calls to nothing.
#pragma once

namespace qm::win {

#ifdef QM_STARTUP_TRACE
void StartupMark(const char* phase);
void StartupTraceWrite();
#else
inline void StartupMark(const char*) {}
inline void StartupTraceWrite() {}
#endif

}  // namespace qm::win
