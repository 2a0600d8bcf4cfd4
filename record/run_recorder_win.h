// The run record on Windows: the time from the system clock in UTC, the driver's
// identifier turned from the system code page into UTF-8, and the two files written
// beside the program through the settings component's file operations, which replace
// a file whole through a temporary file.
#pragma once

#include "record/run_recorder.h"
#include "settings/auto_save.h"

namespace qm::win {

class RunRecorderWin : public RunRecorder {
  public:
    explicit RunRecorderWin(SettingsFiles& files) : files_(files) {}

    std::string UtcTimeNow() override;
    void RunEnded(RunRecord& record) override;

  private:
    SettingsFiles& files_;
};

}  // namespace qm::win
