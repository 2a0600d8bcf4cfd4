// The text of the record file "autofocus-runs.jsonl" and what is done with it: its
// lines, the bytes that append a record, the choice and the text of a trim, and the
// runs the page shows. The file is only ever appended to, and now and then trimmed by a
// whole replacement, so that two programs beside the same file, each appending under
// the folder's lock (run_recorder.h), never lose each other's records.
//
// A line is complete when its LF is in the file: an append cut short by a crash leaves a
// last line without one. Such a fragment, and any line that does not read as a record,
// is skipped by every reader; the next append first ends the fragment with its own LF,
// so that the fragment never runs into the next record, and the next trim leaves it out.
// A line that does not read and is no such fragment (edited by hand, written by another
// program) is never removed: the trim keeps it, and the page counts it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "record/recorded_run.h"

namespace qm {

// The file is trimmed once it holds more than this many lines, back to kRunRecordLimit:
// the trim replaces the whole file, so it is done once in a hundred runs, not each run.
inline constexpr size_t kRunRecordTrimAbove = 1100;

// The complete lines of the file, without their LF (and without a CR before it, for a
// file an editor saved with CR LF); blank lines left out. A last line without its LF is
// not among them.
std::vector<std::string_view> CompleteRecordLines(std::string_view fileText);

// The bytes that append `line` to a file holding `fileText`: the line and its LF, after
// an LF that ends a torn last line first. One write of them keeps the record whole or
// leaves a torn line that readers skip.
std::string RecordAppendBytes(std::string_view fileText, std::string_view line);

// Whether the file holds more than kRunRecordTrimAbove lines that a trim would take out
// or count (records and torn fragments; not the lines it keeps whatever their number).
bool RecordNeedsTrim(std::string_view fileText);

// The file after a trim: its last `limit` complete lines that read as records, with
// every complete line that does not read and is not a torn fragment, each in its place
// and byte for byte, with the line end it had (CR LF or LF). Older records and torn
// fragments go.
std::string TrimmedRecord(std::string_view fileText, size_t limit = kRunRecordLimit);

// The complete lines that neither read as records nor are torn fragments: the lines the
// page does not show.
size_t UnreadableRecordLines(std::string_view fileText);

// The last `count` complete lines of the file that read as records, newest (last) first,
// added to `runs`.
void AppendLastRecordedRuns(std::string_view fileText, size_t count, std::vector<RecordedRun>& runs);
inline std::vector<RecordedRun> LastRecordedRuns(std::string_view fileText, size_t count) {
    std::vector<RecordedRun> runs;
    AppendLastRecordedRuns(fileText, count, runs);
    return runs;
}

}  // namespace qm
