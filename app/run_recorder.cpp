// Keeping the run record in its two files: see run_recorder.h.
#include "app/run_recorder.h"

#include <optional>

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
        files.ReplaceAll(recordPath, AppendRunRecordLine(old.value_or(std::string()), FormatRunRecordLine(record)));

        // The page is made from the old page and this run, so it shows this run even
        // when the record file could not be replaced. A page that cannot be read starts
        // anew: the record file still holds every run.
        const std::string pagePath = directory + kRunPageFileName;
        files.ReplaceAll(pagePath, ComposeRunPage(RenderRunSection(record), files.ReadAll(pagePath).value_or("")));
    } catch (...) {
        // Out of memory: the record is lost, the run goes on.
    }
}

}  // namespace qm
