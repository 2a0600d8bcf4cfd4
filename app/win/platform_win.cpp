// Platform services over the Win32 API. Text is single-byte in the system code page,
// so the A functions are used throughout.
#include "app/win/platform_win.h"

#include <shellapi.h>

#include <vector>

#include "app/form_afoc.h"

namespace qm::win {

uint32_t PlatformWin::TickCount() {
    return GetTickCount();
}

void PlatformWin::Sleep(uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

void PlatformWin::ProcessWaitingMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The quit request belongs to the outer message loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (preTranslate && preTranslate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

uint32_t PlatformWin::RegisterMessage(const std::string& name) {
    return RegisterWindowMessageA(name.c_str());
}

void PlatformWin::PostToWindow(uintptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    PostMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam);
}

namespace {

// Some systems (Wine among them) ignore MB_TOPMOST; the box is made top-most as it is
// activated, through a hook on this thread that lives only while the box is shown.
HHOOK g_topmostHook = nullptr;

LRESULT CALLBACK MakeBoxTopmost(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        char cls[16] = {};
        GetClassNameA(box, cls, sizeof cls);
        if (lstrcmpA(cls, "#32770") == 0)
            SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    return CallNextHookEx(g_topmostHook, code, wParam, lParam);
}

class TopmostBoxHook {
public:
    TopmostBoxHook() : previous_(g_topmostHook) {
        g_topmostHook = SetWindowsHookExA(WH_CBT, MakeBoxTopmost, nullptr, GetCurrentThreadId());
        hook_ = g_topmostHook;
    }
    TopmostBoxHook(const TopmostBoxHook&) = delete;
    TopmostBoxHook& operator=(const TopmostBoxHook&) = delete;
    ~TopmostBoxHook() {
        if (hook_) UnhookWindowsHookEx(hook_);
        g_topmostHook = previous_;
    }

private:
    HHOOK hook_ = nullptr;
    HHOOK previous_;
};

}  // namespace

void PlatformWin::ShowError(const std::string& text) {
    // The box has no owner window, so when it closes the system need not activate the
    // window that was active before; without that the keyboard reaches no control until
    // the user clicks the window. Give the activation back when nothing else took it.
    HWND wasActive = GetActiveWindow();
    {
        TopmostBoxHook topmost;
        MessageBoxA(nullptr, text.c_str(), "Error", MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_TOPMOST);
    }
    if (wasActive && IsWindow(wasActive) && IsWindowEnabled(wasActive) && !GetActiveWindow())
        SetForegroundWindow(wasActive);
}

void PlatformWin::ShowErrorReport(const std::string& text) {
    MessageBoxA(mainWindow_, text.c_str(), TFormAFoc::kTitle, MB_OK | MB_ICONERROR);
}

std::string ExecutableDirectory() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            std::string path(buffer.data(), n);
            size_t slash = path.find_last_of("\\/:");
            return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string PlatformWin::ProgramDirectory() {
    return ExecutableDirectory();
}

bool PlatformWin::FileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void PlatformWin::OpenDocument(const std::string& path) {
    ShellExecuteA(GetDesktopWindow(), "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool PlatformWin::StartedWithParametersOrDebugger() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args) LocalFree(args);
    return count > 1 || IsDebuggerPresent();
}

void PlatformWin::MinimiseMainWindow() {
    if (mainWindow_) ShowWindow(mainWindow_, SW_MINIMIZE);
}

void PlatformWin::CloseMainWindow() {
    if (mainWindow_) PostMessageA(mainWindow_, WM_CLOSE, 0, 0);
}

}  // namespace qm::win
