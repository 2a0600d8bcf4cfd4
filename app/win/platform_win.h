// The real platform services for the controller: the system clock and Sleep, the
// thread's message queue, registered messages, message boxes, files and the shell.
#pragma once

#include <windows.h>

#include <functional>

#include "app/platform.h"

namespace qm::win {

class PlatformWin : public Platform {
public:
    // The main window owns the message boxes of the general error report and receives
    // minimise and close requests; it may be set after construction.
    void SetMainWindow(HWND window) { mainWindow_ = window; }
    // Called for every message taken from the queue while waiting messages are handled,
    // so the message loop's own preprocessing (dialog keys) applies there too.
    std::function<bool(MSG&)> preTranslate;

    uint32_t TickCount() override;
    void Sleep(uint32_t milliseconds) override;
    void ProcessWaitingMessages() override;
    uint32_t RegisterMessage(const std::string& name) override;
    void PostToWindow(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void ShowError(const std::string& text) override;
    void ShowErrorReport(const std::string& text) override;
    std::string ProgramDirectory() override;
    bool FileExists(const std::string& path) override;
    void OpenDocument(const std::string& path) override;
    bool StartedWithParametersOrDebugger() override;
    void MinimiseMainWindow() override;
    void CloseMainWindow() override;

private:
    HWND mainWindow_ = nullptr;
};

// The program's directory with its trailing backslash.
std::string ExecutableDirectory();

}  // namespace qm::win
