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
    size_t lines = 0;
    for (char c : fileText)
        if (c == '\n' && ++lines > kRunRecordTrimAbove)
            return true;
    return false;
}

std::string TrimmedRecord(std::string_view fileText, size_t limit) {
    const std::vector<std::string_view> lines = CompleteRecordLines(fileText);
    // From the newest line back, the records kept; then written oldest first.
    std::vector<std::string_view> kept;
    for (size_t i = lines.size(); i-- > 0 && kept.size() < limit;)
        if (ReadRunRecordLine(lines[i]))
            kept.push_back(lines[i]);
    std::string out;
    for (size_t i = kept.size(); i-- > 0;) {
        out += kept[i];
        out += '\n';
    }
    return out;
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
