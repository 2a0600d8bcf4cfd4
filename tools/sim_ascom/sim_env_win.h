// The simulated drivers' contact with the test that steers them: the directory
// named by QM_SIM_DIR, the steering file sim.ini in it (re-read on every call), the
// append-only call log calls.log and the focuser's state file focuser.state.
// Without QM_SIM_DIR nothing is read or written: every setting has its default, or
// the value QM_SIM_SETTINGS gives it ("Key=Value;Key=Value", the keys of sim.ini), so
// that a timing can run the simulator without any file work of its own.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "tools/sim_ascom/sim_config.h"

namespace qm::sim {

// QM_SIM_DIR as set in this process's environment, or "" when unset.
std::string SimDirectory();

// sim.ini of the steering directory; without one, QM_SIM_SETTINGS, or nothing.
SimConfig LoadConfig();

// Appends one line (a line break is added) to calls.log, opening and closing the
// file each time so that the line is on disk before the call returns.
void AppendCallLog(const std::string& line);

// The whole text of a file in the steering directory, or nothing.
std::optional<std::string> ReadSimFile(const char* name);

// Replaces a file in the steering directory as a whole: the text goes to a temporary
// file that then takes the file's place, so a reader never sees half of it.
void ReplaceSimFile(const char* name, const std::string& text);

// A file handle closed on destruction.
class FileHandle {
  public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (valid())
            CloseHandle(handle_);
    }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

}  // namespace qm::sim
