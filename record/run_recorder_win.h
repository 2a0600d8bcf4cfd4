// The run record on Windows: the time from the system clock in UTC, the driver's
// identifier turned from the system code page into UTF-8, and the record's files beside
// the program (RunRecordStoreWin): a named mutex per folder as the lock, appends with
// FILE_APPEND_DATA, replacements through a temporary file and a rename.
#pragma once

#include "common/raii_win.h"
#include "record/run_recorder.h"
#include "settings/settings_files_win.h"

namespace qm::win {

class RunRecordStoreWin : public RunRecordStore {
  public:
    explicit RunRecordStoreWin(SettingsFilesWin& files) : files_(files) {}

    std::string ProgramDirectory() override { return files_.ProgramDirectory(); }
    bool Lock() override;
    void Unlock() override;
    std::optional<std::string> Read(const std::string& path) override;
    bool Append(const std::string& path, std::string_view bytes) override;
    Replaced Replace(const std::string& path, std::string_view content) override;
    bool Overwrite(const std::string& path, std::string_view content) override;

  private:
    SettingsFilesWin& files_;
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
