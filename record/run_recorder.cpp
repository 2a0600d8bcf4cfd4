// Keeping a run in the record file and the page: see run_recorder.h.
//
// Under the folder's lock the record file only grows by appends, each one whole line
// after an LF that ends any torn line before it, and shrinks only by a trim that
// replaces it with its own last records in one rename. So a program killed at any step
// leaves the records it appended (a killed append at worst a torn last line, which
// readers skip), and two programs never read, append and replace over each other. The
// page is a function of the record file and the pending runs, made whole each time: a
// torn, edited or missing page is made again at the next run.
//
// A pending file is made whole before anyone can read it (no other program can open it
// while it is written), so a reader sees it whole, or torn by a kill before its writer's
// run was kept. It is removed only after its lines are on the disk in the record, and a
// line already there is not appended again: a kill between the append and the removal
// leaves the run once in the record.
#include "record/run_recorder.h"

#include <algorithm>
#include <unordered_set>
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

// A pending file and its complete lines that the record does not hold yet.
struct PendingFile {
    std::string path;
    std::vector<std::string> lines;
};

// The pending files that can be read now, oldest first. One that another program is
// still writing cannot be opened, and waits for a later run.
std::vector<PendingFile> ReadPendingFiles(RunRecordStore& store,
                                          const std::string& directory,
                                          std::string_view recordText) {
    std::vector<std::string> names = store.FileNames(kPendingRunPrefix, kPendingRunSuffix);
    std::sort(names.begin(), names.end());
    std::vector<PendingFile> files;
    if (names.empty())
        return files;
    const std::vector<std::string_view> recorded = CompleteRecordLines(recordText);
    const std::unordered_set<std::string_view> inRecord(recorded.begin(), recorded.end());
    for (const std::string& name : names) {
        PendingFile file{directory + name, {}};
        const std::optional<std::string> text = store.Read(file.path);
        if (!text)
            continue;
        // A torn last line is what a kill left before that run was kept.
        for (std::string_view line : CompleteRecordLines(*text))
            if (!inRecord.count(line))
                file.lines.emplace_back(line);
        files.push_back(std::move(file));
    }
    return files;
}

// Puts `line` into a new pending file of this program's; false when it cannot be made.
bool WritePending(RunRecordStore& store, const std::string& directory, const std::string& line) {
    return store.WriteNew(directory + kPendingRunPrefix + store.PendingStamp() + kPendingRunSuffix, line + "\n");
}

// Makes the page whole from the runs not in the record (`waiting`, oldest first, and the
// run that could be kept nowhere) and the record's last runs.
void WritePage(RunRecordStore& store,
               const std::string& pagePath,
               std::string_view recordText,
               const std::vector<std::string>& waiting,
               const std::optional<RecordedRun>& notKept) {
    RunPageNotes notes;
    std::vector<RecordedRun> runs;
    if (notKept) {
        runs.push_back(*notKept);
        notes.notKept = 1;
    }
    for (size_t i = waiting.size(); i-- > 0;) {
        if (std::optional<RecordedRun> run = ReadRunRecordLine(waiting[i])) {
            runs.push_back(std::move(*run));
            ++notes.waiting;
        }
    }
    if (runs.size() < kRunPageRuns)
        AppendLastRecordedRuns(recordText, kRunPageRuns - runs.size(), runs);
    notes.unreadableLines = UnreadableRecordLines(recordText);
    const std::string page = ComposeRunPage(runs, notes);
    // In a folder that refuses new files the page is written in place: a page torn by a
    // crash is made again, from the record, at the next run.
    if (store.Replace(pagePath, page) == RunRecordStore::Replaced::Refused)
        store.Overwrite(pagePath, page);
}

std::vector<std::string> LinesOf(const std::vector<PendingFile>& files) {
    std::vector<std::string> lines;
    for (const PendingFile& file : files)
        lines.insert(lines.end(), file.lines.begin(), file.lines.end());
    return lines;
}

}  // namespace

KeptRun KeepRunRecord(RunRecordStore& store, const RunRecord& record) {
    const std::string directory = store.ProgramDirectory();
    if (directory.empty())
        return KeptRun::NotKept;
    const std::string recordPath = directory + kRunRecordFileName;
    const std::string pagePath = directory + kRunPageFileName;
    const std::string line = FormatRunRecordLine(record);

    HeldLock lock(store);
    if (!lock.Held()) {
        // Without the lock the record file is not written: an append could land between
        // the holder's reading of the file and its trim's rename, and be lost in it. The
        // run waits for the holder, or whoever holds the lock next.
        if (WritePending(store, directory, line)) {
            const std::string text = store.Read(recordPath).value_or(std::string());
            WritePage(store, pagePath, text, LinesOf(ReadPendingFiles(store, directory, text)), std::nullopt);
            return KeptRun::Pending;
        }
        // No pending file can be made where the folder refuses new files; nor can a trim
        // replace the record there, so an append without the lock cannot be lost in one.
    }

    const std::optional<std::string> old = store.Read(recordPath);
    std::string text = old.value_or(std::string());
    std::vector<PendingFile> pending;
    if (lock.Held())
        pending = ReadPendingFiles(store, directory, text);
    // The runs that waited, oldest first, and then this one, in one write.
    std::string lines;
    for (const std::string& waiting : LinesOf(pending))
        lines += waiting + "\n";
    lines += line;
    // A file that is there but cannot be read is still appended to, after an LF, since
    // its last line may be torn; should it not be, the blank line is skipped.
    const std::string bytes = old ? RecordAppendBytes(*old, lines) : "\n" + lines + "\n";
    KeptRun kept = KeptRun::Recorded;
    std::optional<RecordedRun> notKept;
    if (store.Append(recordPath, bytes)) {
        text += bytes;
        for (const PendingFile& file : pending)
            store.Remove(file.path);
        pending.clear();
    } else {
        // The record file cannot be written now (another program holds it open without
        // sharing writes): this run waits too, and the others stay where they are.
        for (const PendingFile& file : pending)
            if (file.lines.empty())
                store.Remove(file.path);
        if (WritePending(store, directory, line)) {
            kept = KeptRun::Pending;
            pending.push_back({std::string(), {line}});
        } else {
            kept = KeptRun::PageOnly;
            notKept = RecordedRunOf(record);
        }
    }

    // Trimming replaces the file, so it is done only under the lock, which keeps every
    // other program's append out until the rename. In a folder that refuses new files no
    // temporary file can take the file's place, and the file is not trimmed: it keeps
    // growing, but it loses nothing, where an in-place rewrite stopped part way would.
    if (kept == KeptRun::Recorded && lock.Held() && RecordNeedsTrim(text)) {
        std::string trimmed = TrimmedRecord(text);
        if (store.Replace(recordPath, trimmed) == RunRecordStore::Replaced::Done)
            text = std::move(trimmed);
    }

    WritePage(store, pagePath, text, LinesOf(pending), notKept);
    return kept;
}

}  // namespace qm
