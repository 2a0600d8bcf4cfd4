// OpenRecorder.exe: stands in for the viewer of a document type in a test prefix.
// Registered as the "open" command of that type with
//     "...\OpenRecorder.exe" "RECORD-FILE" "%1"
// it appends the argument it was given (the document the shell was asked to open) as
// one line to RECORD-FILE and exits, so a test can check exactly what was opened and
// how often. It shows no window: a test must never wait for a viewer.
//
// Exit codes: 0 recorded, 1 bad command line, 2 the record file could not be written.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "common/raii_win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc != 3)
        return 1;
    const std::string line = std::string(__argv[2]) + "\r\n";
    // Appends in one write, shared, so that two viewers started at once both get in.
    qm::win::KernelHandle record(CreateFileA(__argv[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!record)
        return 2;
    DWORD written = 0;
    const bool ok = WriteFile(record.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
                    written == line.size();
    return ok ? 0 : 2;
}
