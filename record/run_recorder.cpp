// Keeping a run in the record file and the page: see run_recorder.h.
//
// Under the folder's lock the record file only grows by appends, each one whole line
// after an LF that ends any torn line before it, and shrinks only by a trim that
// replaces it with its own last records in one rename. So a program killed at any step
// leaves the records it appended (a killed append at worst a torn last line, which
// readers skip), and two programs never read, append and replace over each other. The
// page is a function of the record file, made whole each time: a torn, edited or
// missing page is made again at the next run.
#include "record/run_recorder.h"

#include <vector>

#include "record/recorded_run.h"
#include "record/run_page.h"
#include "record/run_record_file.h"

namespace qm {

namespace {

// Releases the folder's lock however the keeping ends (a lack of memory throws).
class HeldLock {
  public:
    explicit HeldLock(RunRecordStore& store) : store_(store), held_(store.Lock()) {}
    ~HeldLock() {
        if (held_)
            store_.Unlock();
    }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;
    bool Held() const { return held_; }

  private:
    RunRecordStore& store_;
    const bool held_;
};

}  // namespace

void KeepRunRecord(RunRecordStore& store, const RunRecord& record) {
    const std::string directory = store.ProgramDirectory();
    if (directory.empty())
        return;
    const std::string recordPath = directory + kRunRecordFileName;
    const std::string pagePath = directory + kRunPageFileName;
    const std::string line = FormatRunRecordLine(record);

    HeldLock lock(store);
    const std::optional<std::string> old = store.Read(recordPath);
    std::string text = old.value_or(std::string());
    // A file that is there but cannot be read is still appended to, after an LF, since
    // its last line may be torn; should it not be, the blank line is skipped.
    const std::string bytes = old ? RecordAppendBytes(*old, line) : "\n" + line + "\n";
    const bool appended = store.Append(recordPath, bytes);
    if (appended)
        text += bytes;

    // Trimming replaces the file, so it is done only under the lock, which keeps every
    // other program's append out until the rename. In a folder that refuses new files no
    // temporary file can take the file's place, and the file is not trimmed: it keeps
    // growing, but it loses nothing, where an in-place rewrite stopped part way would.
    if (appended && lock.Held() && RecordNeedsTrim(text)) {
        std::string trimmed = TrimmedRecord(text);
        if (store.Replace(recordPath, trimmed) == RunRecordStore::Replaced::Done)
            text = std::move(trimmed);
    }

    std::vector<RecordedRun> runs;
    if (!appended)
        runs.push_back(RecordedRunOf(record));
    AppendLastRecordedRuns(text, kRunPageRuns - runs.size(), runs);
    const std::string page = ComposeRunPage(runs);
    // In a folder that refuses new files the page is written in place: a page torn by a
    // crash is made again, from the record, at the next run.
    if (store.Replace(pagePath, page) == RunRecordStore::Replaced::Refused)
        store.Overwrite(pagePath, page);
}

}  // namespace qm
