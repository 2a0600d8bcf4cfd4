// The services of the operating system that the controller uses: time, pauses,
// the message queue, the host link, message boxes, files and the shell. The Win32
// layer supplies the real ones (platform_win.h); native tests supply fakes with a
// simulated clock.
#pragma once

#include <cstdint>
#include <string>

namespace qm {

class Platform {
public:
    virtual ~Platform() = default;

    // Milliseconds since the system started; wraps around after about 49.7 days.
    virtual uint32_t TickCount() = 0;
    // Blocks the user-interface thread; no messages are handled meanwhile.
    virtual void Sleep(uint32_t milliseconds) = 0;
    // Handles every message waiting in the thread's queue once, then returns.
    virtual void ProcessWaitingMessages() = 0;

    // Registers a window message name with the system and returns its number.
    virtual uint32_t RegisterMessage(const std::string& name) = 0;
    // Posts a message to another window without waiting; the result is ignored.
    virtual void PostToWindow(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;

    // The modal, task-modal, top-most "Error" box with the error icon and OK.
    virtual void ShowError(const std::string& text) = 0;
    // The general error report: the error icon and OK, captioned with the program's title.
    virtual void ShowErrorReport(const std::string& text) = 0;

    // Directory of the program's executable, with its trailing separator.
    virtual std::string ProgramDirectory() = 0;
    virtual bool FileExists(const std::string& path) = 0;
    // Opens a document with the shell's "open" verb; failures are not reported.
    virtual void OpenDocument(const std::string& path) = 0;

    // True when the program was started with at least one command-line parameter
    // or runs under a debugger.
    virtual bool StartedWithParametersOrDebugger() = 0;
    virtual void MinimiseMainWindow() = 0;
    // Asks the main window to close; it closes when control returns to the message loop.
    virtual void CloseMainWindow() = 0;
};

}  // namespace qm
