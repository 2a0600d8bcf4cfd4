// The seam through which the controller hands over the record of each run when the
// user opted into "run-record = on". The Win32 layer keeps the records in files
// beside the program (run_recorder_win.h); tests collect them.
#pragma once

#include <string>

#include "record/run_record.h"
#include "settings/auto_save.h"

namespace qm {

class RunRecorder {
  public:
    virtual ~RunRecorder() = default;
    // The current time in UTC, ISO 8601 ("2026-01-31T21:05:09Z").
    virtual std::string UtcTimeNow() = 0;
    // A run ended: keep its record. The recorder may change the record's text in place
    // (the caller is done with it). A record that cannot be kept is lost without a word,
    // since the run must not be disturbed by it; only a lack of memory throws, and the
    // controller drops the record then.
    virtual void RunEnded(RunRecord& record) = 0;
};

// Appends the record to the record file in the program's directory, keeping its last
// kRunRecordLimit lines, and rewrites the page of the last runs from the page before and
// this record. Both files are replaced whole, so a failed write leaves the old file as
// it was. A record file that exists but cannot be read is left alone rather than
// replaced by the one new line. Throws only when memory runs out.
void WriteRunRecordFiles(SettingsFiles& files, const RunRecord& record);

}  // namespace qm
