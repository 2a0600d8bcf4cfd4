// The seam through which the controller hands over the record of each run when the
// user opted into "run-record = on", and the keeping of a run in the two files beside
// the program, written so that several programs started from one folder (a host driving
// two cameras) never lose each other's runs, and a program killed at any moment leaves
// files that every later run reads and repairs. The Win32 layer supplies the files and
// the lock (run_record_store_win.h); tests supply them in memory.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "record/run_record.h"

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

// The record's files as the keeping of a run uses them. Paths are the program's
// directory followed by a file name.
class RunRecordStore {
  public:
    enum class Replaced {
        Done,
        Refused,  // the folder refuses new files, so no temporary file could take the file's place
        Failed,   // anything else: the file is as it was
    };

    virtual ~RunRecordStore() = default;
    // With its trailing separator; empty when it cannot be told (nothing is kept then).
    virtual std::string ProgramDirectory() = 0;
    // Takes the lock of the program's directory, which every program keeping runs there
    // takes around the reading and writing of both files. False when another holds it
    // for longer than a run's end should wait; the run is then appended without the lock.
    virtual bool Lock() = 0;
    virtual void Unlock() = 0;
    // The whole file; empty when there is none; nothing when it cannot be read.
    virtual std::optional<std::string> Read(const std::string& path) = 0;
    // Appends `bytes` at the file's end in one write, making the file when missing, and
    // returns once they are on the disk.
    virtual bool Append(const std::string& path, std::string_view bytes) = 0;
    // Replaces the file whole: a temporary file beside it, on the disk, renamed over it.
    virtual Replaced Replace(const std::string& path, std::string_view content) = 0;
    // Writes the file over in place, for a folder that refuses new files; a crash leaves
    // it torn.
    virtual bool Overwrite(const std::string& path, std::string_view content) = 0;
};

// Keeps `record`: appends its line to the record file, trims the file now and then, and
// makes the page of the last runs again from the record file, with this run first
// even when its line could not be appended. Never throws but for a lack of memory.
void KeepRunRecord(RunRecordStore& store, const RunRecord& record);

}  // namespace qm
