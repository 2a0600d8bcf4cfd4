// Win32 side of the run record: see run_recorder_win.h.
#include "record/run_recorder_win.h"

#include <windows.h>

#include <string>

namespace qm::win {

namespace {

// Text in the system code page as UTF-8, through buffers on the stack: a driver's
// identifier is a short ProgID. Text too long for them, or that cannot be turned, is
// left as it is (the record's writer then escapes its high bytes).
void CodePageToUtf8(std::string& text) {
    wchar_t wide[256];
    char utf8[768];
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide, 256);
    if (wideLength <= 0)
        return;
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, wideLength, utf8, sizeof utf8, nullptr, nullptr);
    if (length > 0)
        text.assign(utf8, static_cast<size_t>(length));
}

}  // namespace

std::string RunRecorderWin::UtcTimeNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return FormatUtcTime(static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime);
}

void RunRecorderWin::RunEnded(RunRecord& record) {
    CodePageToUtf8(record.driverId);
    WriteRunRecordFiles(files_, record);
}

}  // namespace qm::win
