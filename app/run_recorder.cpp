// Keeping the run record in its two files: see run_recorder.h.
#include "app/run_recorder.h"

#include <optional>
#include <vector>

#include "app/run_page.h"

namespace qm {

void WriteRunRecordFiles(SettingsFiles& files, const RunRecord& record) noexcept {
    try {
        const std::string directory = files.ProgramDirectory();
        if (directory.empty()) return;
        const std::string recordPath = directory + kRunRecordFileName;
        std::optional<std::string> old = files.ReadAll(recordPath);
        if (!old && files.Exists(recordPath)) return;
        const std::string text = AppendRunRecordLine(old.value_or(std::string()), FormatRunRecordLine(record));
        files.ReplaceAll(recordPath, text);

        // The page is made from the same lines, so it shows this run even when the
        // record file could not be replaced.
        std::vector<RunRecord> records;
        for (const std::string& line : RunRecordLines(text))
            if (std::optional<RunRecord> r = ParseRunRecordLine(line)) records.push_back(std::move(*r));
        files.ReplaceAll(directory + kRunPageFileName, RenderRunPage(records));
    } catch (...) {
        // Out of memory: the record is lost, the run goes on.
    }
}

}  // namespace qm
