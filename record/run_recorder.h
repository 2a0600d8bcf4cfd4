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
    // The current time in UTC, ISO 8601 ("2026-01-31T21:05:09Z").
    std::string UtcTimeNow() { return utcTimeNow_(*this); }
    // A run ended: keep its record. The recorder may change the record's text in place
    // (the caller is done with it). A record that cannot be kept is lost without a word,
    // since the run must not be disturbed by it; only a lack of memory throws, and the
    // controller drops the record then.
    void RunEnded(RunRecord& record) { runEnded_(*this, record); }

  protected:
    // An implementation hands over its two operations as plain functions when it is
    // made, rather than overriding virtual ones: the program has a single recorder, and
    // a virtual table with its type information and the loader's fix-ups of both cost
    // the 64-bit program half a kilobyte of its file (bench/size/RESULTS.md).
    using TimeNow = std::string (*)(RunRecorder& self);
    using Ended = void (*)(RunRecorder& self, RunRecord& record);
    RunRecorder(TimeNow utcTimeNow, Ended runEnded) : utcTimeNow_(utcTimeNow), runEnded_(runEnded) {}
    ~RunRecorder() = default;  // never deleted through this class

  private:
    TimeNow utcTimeNow_;
    Ended runEnded_;
};

// Appends the record to the record file in the program's directory, keeping its last
// kRunRecordLimit lines, and rewrites the page of the last runs from the page before and
// this record. Both files are replaced whole, so a failed write leaves the old file as
// it was. A record file that exists but cannot be read is left alone rather than
// replaced by the one new line. Throws only when memory runs out.
void WriteRunRecordFiles(SettingsFiles& files, const RunRecord& record);

}  // namespace qm
