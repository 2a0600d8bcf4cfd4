// The writing of both record files beside the program: see run_recorder.h.
#include "record/run_recorder.h"

#include <optional>

#include "record/run_page.h"

namespace qm {

void WriteRunRecordFiles(SettingsFiles& files, const RunRecord& record) {
    const std::string directory = files.ProgramDirectory();
    if (directory.empty())
        return;
    const std::string recordPath = directory + kRunRecordFileName;
    const std::optional<std::string> old = files.ReadAll(recordPath);
    if (!old && files.Exists(recordPath))
        return;
    files.ReplaceAll(recordPath, AppendRunRecordLine(old ? *old : std::string_view(), FormatRunRecordLine(record)));

    // The page is made from the old page and this run, so it shows this run even when
    // the record file could not be replaced. A page that cannot be read starts anew:
    // the record file still holds every run.
    const std::string pagePath = directory + kRunPageFileName;
    const std::optional<std::string> page = files.ReadAll(pagePath);
    files.ReplaceAll(pagePath, ComposeRunPage(record, page ? *page : std::string_view()));
}

}  // namespace qm
