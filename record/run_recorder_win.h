// The run record on Windows: the time from the system clock in UTC, the driver's
// identifier turned from the system code page into UTF-8, and the record's files beside
// the program (RunRecordStoreWin): a named mutex per folder as the lock, named after the
// folder's identity (its file index) so that every spelling of the folder's path (8.3
// names, another drive letter, a junction, a link, "..") takes the same lock; appends with FILE_APPEND_DATA, replacements through a
// temporary file and a rename, and pending files made unshared.
#pragma once

#include <windows.h>

#include <string>

#include "common/raii_win.h"
#include "record/run_recorder.h"
#include "settings/settings_files_win.h"

namespace qm::win {

// How long the end of a run waits for another program's keeping of its run, which
// takes a few milliseconds; one that holds the lock longer has hung, and the run then
// waits in a pending file.
inline constexpr DWORD kRunRecordLockWaitMs = 20000;

// The name of the lock of `directory`: from its file index, or, should the folder not
// open, from its path compared as Windows compares paths. The volume's serial number is
// left out: Wine makes it from a drive letter, so one folder reached through two drives,
// or asked for while a drive is being mapped, can give two serials (or 0), and two names
// for one folder would let two programs trim over each other's appends. Two folders of
// two volumes that share a file index share a lock, which only makes them take turns.
std::string RunRecordLockName(const std::string& directory);

class RunRecordStoreWin : public RunRecordStore {
  public:
    explicit RunRecordStoreWin(SettingsFilesWin& files, DWORD lockWaitMs = kRunRecordLockWaitMs)
        : files_(files), lockWaitMs_(lockWaitMs) {}

    std::string ProgramDirectory() override { return files_.ProgramDirectory(); }
    bool Lock() override;
    void Unlock() override;
    std::optional<std::string> Read(const std::string& path) override;
    bool Append(const std::string& path, std::string_view bytes) override;
    Replaced Replace(const std::string& path, std::string_view content) override;
    bool Overwrite(const std::string& path, std::string_view content) override;
    std::string PendingStamp() override;
    bool WriteNew(const std::string& path, std::string_view bytes) override;
    std::vector<std::string> FileNames(std::string_view prefix, std::string_view suffix) override;
    bool Remove(const std::string& path) override;

  private:
    SettingsFilesWin& files_;
    const DWORD lockWaitMs_;
    KernelHandle mutex_;
};

class RunRecorderWin : public RunRecorder {
  public:
    explicit RunRecorderWin(SettingsFilesWin& files) : store_(files) {}

    std::string UtcTimeNow() override;
    void RunEnded(RunRecord& record) override;

  private:
    RunRecordStoreWin store_;
};

}  // namespace qm::win
