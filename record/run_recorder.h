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
#include <vector>

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

    // What names a pending file of this program made now: the time (first, so that names
    // sort in time order) and the process, in letters a file name can hold.
    virtual std::string PendingStamp() = 0;
    // Makes the file, which must not exist yet, with `bytes`, on the disk when it returns
    // true. While it is written no other program can open it; one that fails part way is
    // removed.
    virtual bool WriteNew(const std::string& path, std::string_view bytes) = 0;
    // The names (without the directory) of the directory's files whose names begin with
    // `prefix` and end with `suffix`.
    virtual std::vector<std::string> FileNames(std::string_view prefix, std::string_view suffix) = 0;
    virtual bool Remove(const std::string& path) = 0;
};

// Where the run went.
enum class KeptRun {
    Recorded,  // appended to the record file
    Pending,   // in a pending file, for the next program that can append it
    PageOnly,  // neither could be written: the page shows it, and it is lost
    NotKept,   // no directory to keep it in
};

// A run that cannot go into the record file now (its lock is held too long elsewhere,
// or the file cannot be written) waits in a pending file of its own beside it,
// "autofocus-runs.pending-STAMP.jsonl", holding its line. Whoever next holds the lock
// appends every pending file it can read, in time order, before its own run, and then
// removes them.
inline constexpr char kPendingRunPrefix[] = "autofocus-runs.pending-";
inline constexpr char kPendingRunSuffix[] = ".jsonl";

// Keeps `record`: under the folder's lock, appends the waiting pending runs and its line
// to the record file, trims the file now and then, and makes the page of the last runs
// again from the record file and the runs still pending. Never throws but for a lack of
// memory.
KeptRun KeepRunRecord(RunRecordStore& store, const RunRecord& record);

}  // namespace qm
