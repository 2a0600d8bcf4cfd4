// The record file's text: see run_record_file.h.
#include "record/run_record_file.h"

namespace qm {

std::vector<std::string_view> CompleteRecordLines(std::string_view fileText) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t end = fileText.find('\n'); end != fileText.npos; end = fileText.find('\n', start)) {
        std::string_view line = fileText.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty())
            lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string RecordAppendBytes(std::string_view fileText, std::string_view line) {
    std::string bytes;
    bytes.reserve(line.size() + 2);
    if (!fileText.empty() && fileText.back() != '\n')
        bytes += '\n';
    bytes += line;
    bytes += '\n';
    return bytes;
}

bool RecordNeedsTrim(std::string_view fileText) {
    // Counting line ends first spares reading the lines at every run below the margin.
    size_t lineEnds = 0;
    for (char c : fileText)
        lineEnds += c == '\n';
    if (lineEnds <= kRunRecordTrimAbove)
        return false;
    size_t trimmable = 0;
    for (std::string_view line : CompleteRecordLines(fileText))
        if (ReadRunRecordLine(line) || IsTornRecordLine(line))
            ++trimmable;
    return trimmable > kRunRecordTrimAbove;
}

std::string TrimmedRecord(std::string_view fileText, size_t limit) {
    const std::vector<std::string_view> lines = CompleteRecordLines(fileText);
    std::vector<bool> isRecord(lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        isRecord[i] = ReadRunRecordLine(lines[i]).has_value();
    // The oldest record kept: `limit` records back from the newest line.
    size_t firstKept = lines.size(), records = 0;
    while (firstKept > 0 && records < limit)
        records += isRecord[--firstKept];
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        const bool kept = isRecord[i] ? i >= firstKept : !IsTornRecordLine(lines[i]);
        if (kept) {
            // Each kept line with the end it had: a line that holds a CR of its own before
            // the CR LF another editor wrote would otherwise lose that CR at the next read.
            const char* end = lines[i].data() + lines[i].size();
            out += lines[i];
            out += *end == '\r' ? "\r\n" : "\n";
        }
    }
    return out;
}

size_t UnreadableRecordLines(std::string_view fileText) {
    size_t count = 0;
    for (std::string_view line : CompleteRecordLines(fileText))
        count += !ReadRunRecordLine(line) && !IsTornRecordLine(line);
    return count;
}

void AppendLastRecordedRuns(std::string_view fileText, size_t count, std::vector<RecordedRun>& runs) {
    const std::vector<std::string_view> lines = CompleteRecordLines(fileText);
    for (size_t i = lines.size(); i-- > 0 && count > 0;) {
        if (std::optional<RecordedRun> run = ReadRunRecordLine(lines[i])) {
            runs.push_back(std::move(*run));
            --count;
        }
    }
}

}  // namespace qm
