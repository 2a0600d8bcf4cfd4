// Keeping the run record in its two files: see run_recorder.h.
#include "app/run_recorder.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "app/run_page.h"

namespace qm {

void WriteRunRecordFiles(SettingsFiles& files, const RunRecord& record) noexcept {
    try {
        const std::string directory = files.ProgramDirectory();
        if (directory.empty())
            return;
        const std::string recordPath = directory + kRunRecordFileName;
        std::optional<std::string> old = files.ReadAll(recordPath);
        if (!old && files.Exists(recordPath))
            return;
        const std::string text = AppendRunRecordLine(old.value_or(std::string()), FormatRunRecordLine(record));
        files.ReplaceAll(recordPath, text);

        // The page is made from the same lines, so it shows this run even when the
        // record file could not be replaced.
        // Only the newest records that the page shows are read back, from the end.
        const std::vector<std::string> lines = RunRecordLines(text);
        std::vector<RunRecord> records;
        for (auto line = lines.rbegin(); line != lines.rend() && records.size() < kRunPageRuns; ++line)
            if (std::optional<RunRecord> r = ParseRunRecordLine(*line))
                records.push_back(std::move(*r));
        std::reverse(records.begin(), records.end());
        files.ReplaceAll(directory + kRunPageFileName, RenderRunPage(records));
    } catch (...) {
        // Out of memory: the record is lost, the run goes on.
    }
}

}  // namespace qm
