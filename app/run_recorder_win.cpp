// Win32 side of the run record: see run_recorder_win.h.
#include "app/run_recorder_win.h"

#include <windows.h>

#include <string>

namespace qm::win {

namespace {

// Text in the system code page as UTF-8; the text unchanged when it cannot be turned
// (the record's writer then escapes its high bytes).
std::string CodePageToUtf8(const std::string& text) {
    if (text.empty())
        return text;
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (wideLength <= 0)
        return text;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), wideLength);
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return text;
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

}  // namespace

std::string RunRecorderWin::UtcTimeNow() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return FormatUtcTime(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

void RunRecorderWin::RunEnded(RunRecord& record) noexcept {
    try {
        record.driverId = CodePageToUtf8(record.driverId);
        WriteRunRecordFiles(files_, record);
    } catch (...) {
        // Out of memory: the record is lost, the run goes on.
    }
}

}  // namespace qm::win
