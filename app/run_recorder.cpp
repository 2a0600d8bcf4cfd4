// Keeping the run record in its two files: see run_recorder.h.
#include "app/run_recorder.h"

#include <optional>

#include "app/run_page.h"

namespace qm {

void WriteRunRecordFiles(SettingsFiles& files, const RunRecord& record) {
    // One path string for both files: the directory, then each file's name.
    std::string path = files.ProgramDirectory();
    const size_t directoryLength = path.size();
    if (directoryLength == 0)
        return;
    path.append(kRunRecordFileName);
    std::optional<std::string> old = files.ReadAll(path);
    if (!old && files.Exists(path))
        return;
    files.ReplaceAll(path, AppendRunRecordLine(old ? *old : std::string_view(), FormatRunRecordLine(record)));

    // The page is made from the old page and this run, so it shows this run even when
    // the record file could not be replaced. A page that cannot be read starts anew:
    // the record file still holds every run.
    path.erase(path.begin() + directoryLength, path.end());
    path.append(kRunPageFileName);
    const std::optional<std::string> page = files.ReadAll(path);
    files.ReplaceAll(path, ComposeRunPage(record, page ? *page : std::string_view()));
}

}  // namespace qm
