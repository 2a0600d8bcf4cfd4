// ProbeTarget.exe: a small stand-in window used to check the test tools themselves
// (Probe.exe and SimHost.exe) without the real program. It has the same kinds of
// controls as the program (a tab control with two pages, a read-only log pane, a
// numeric edit with a spin child, owner-drawn push buttons, check boxes, a status line)
// and plays a crude version of the focuser-message protocol: command 3 stores the host,
// command 2/22 starts a sweep of 7 positions, 2 focus values each, moving a pretend
// focuser by writing %QM_SIM_DIR%\focuser.state; at the end it logs the best position
// and posts code 4/44 to the host. Clicking "Connect" opens an "Error" message box.
//   ProbeTarget.exe [--title T] [--start-position N]
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/host_protocol.h"
#include "tools/sim_ascom/focuser_state.h"

namespace {

constexpr int kSteps = 7;
constexpr int kIncrement = 100;
constexpr int kExpo = 2;
// Focus values this soon after a move are not counted, as the real program does.
constexpr DWORD kSettleMs = 200;

enum ControlId : int {
    kIdTabs = 100,
    kIdLog,
    kIdEdit,
    kIdSpin,
    kIdStart,
    kIdStop,
    kIdStatusCaption,
    kIdStatus,
    kIdConnect,
    kIdDisabled,
    kIdAutoConnect,
};

struct Target {
    HWND window = nullptr;
    HWND tabs = nullptr;
    HWND pages[2] = {};
    HWND log = nullptr;
    HWND status = nullptr;
    UINT focuserMessage = 0;
    HWND host = nullptr;
    bool running = false;
    int position = 1000;
    int samples = 0;
    int best = 0;
    DWORD lastMove = 0;
    std::vector<std::pair<int, int>> lines;
};

Target g_target;  // the one window of this small tool

void WriteFocuser(int position) {
    g_target.position = position;
    g_target.lastMove = GetTickCount();
    const char* dir = std::getenv("QM_SIM_DIR");
    if (!dir)
        return;
    qm::sim::FocuserState state;
    state.startPosition = state.target = position;
    state.moveStartTick = GetTickCount();
    std::ofstream(std::string(dir) + "\\focuser.state", std::ios::binary) << state.Serialize();
}

void AppendLog(const std::string& line) {
    const int length = GetWindowTextLengthA(g_target.log);
    SendMessageA(g_target.log, EM_SETSEL, length, length);
    const std::string text = (length ? "\r\n" : "") + line;
    SendMessageA(g_target.log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void OnFocusValue(int value) {
    SetWindowTextA(g_target.status, ("Focus = " + std::to_string(value)).c_str());
    if (!g_target.running || GetTickCount() - g_target.lastMove < kSettleMs)
        return;
    g_target.best = std::max(g_target.best, value);
    if (++g_target.samples < kExpo)
        return;
    char line[64];
    std::snprintf(line, sizeof line, "%5d = %d", g_target.position, g_target.best);
    AppendLog(line);
    g_target.lines.push_back({g_target.position, g_target.best});
    g_target.samples = g_target.best = 0;
    if (static_cast<int>(g_target.lines.size()) < kSteps) {
        WriteFocuser(g_target.position + kIncrement);
        return;
    }
    g_target.running = false;
    const auto top = std::max_element(g_target.lines.begin(), g_target.lines.end(),
                                      [](auto& a, auto& b) { return a.second < b.second; });
    std::snprintf(line, sizeof line, "%5d -> Focus", top->first);
    AppendLog(line);
    SetWindowTextA(g_target.status, ("Best Focus = " + std::to_string(top->first)).c_str());
    WriteFocuser(top->first);
    if (g_target.host)
        PostMessageA(g_target.host, g_target.focuserMessage, qm::host::kRunReport, qm::host::kRunReportValue);
    g_target.host = nullptr;
}

void OnFocuserMessage(WPARAM code, LPARAM value) {
    if (code == qm::host::kFocusValue)
        OnFocusValue(static_cast<int>(value));
    if (code == qm::host::kMinimise && value == qm::host::kMinimiseValue)
        ShowWindow(g_target.window, SW_MINIMIZE);
    if (code == qm::host::kHostWindow)
        g_target.host = reinterpret_cast<HWND>(value);
    if (code == qm::host::kStartRun && value == qm::host::kStartRunValue && !g_target.running) {
        SendMessageA(g_target.tabs, TCM_SETCURSEL, 0, 0);
        ShowWindow(g_target.pages[0], SW_SHOW);
        ShowWindow(g_target.pages[1], SW_HIDE);
        SetWindowTextA(g_target.log, "");
        g_target.lines.clear();
        g_target.samples = g_target.best = 0;
        g_target.running = true;
        WriteFocuser(g_target.position - kIncrement * (kSteps / 2));
    }
    if (code == 6)
        WriteFocuser(g_target.position + static_cast<int>(value));
}

HWND Child(HWND parent, const char* cls, const char* text, DWORD style, int id, int x, int y, int w, int h) {
    return CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
}

LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Pages pass their controls' notifications on to the main window.
    if (message == WM_COMMAND || message == WM_DRAWITEM)
        return SendMessageA(GetParent(window), message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

void DrawButton(const DRAWITEMSTRUCT& item) {
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    FrameRect(item.hDC, &item.rcItem, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    char text[64] = {};
    GetWindowTextA(item.hwndItem, text, sizeof text);
    RECT r = item.rcItem;
    SetBkMode(item.hDC, TRANSPARENT);
    DrawTextA(item.hDC, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_target.focuserMessage && message == g_target.focuserMessage) {
        OnFocuserMessage(wParam, lParam);
        return 0;
    }
    switch (message) {
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->idFrom == kIdTabs && header->code == TCN_SELCHANGE) {
                const int page = static_cast<int>(SendMessageA(g_target.tabs, TCM_GETCURSEL, 0, 0));
                ShowWindow(g_target.pages[page], SW_SHOW);
                ShowWindow(g_target.pages[1 - page], SW_HIDE);
                g_target.running = false;
                SetWindowTextA(g_target.status, ("page " + std::to_string(page)).c_str());
            }
            return 0;
        }
        case WM_DRAWITEM:
            DrawButton(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == kIdConnect && HIWORD(wParam) == BN_CLICKED) {
                MessageBoxA(window, "File not found:\rC:\\nowhere\\file.htm", "Error",
                            MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_TOPMOST);
            }
            if (LOWORD(wParam) == kIdStart && HIWORD(wParam) == BN_CLICKED)
                OnFocuserMessage(2, 22);
            if (LOWORD(wParam) == kIdStop && HIWORD(wParam) == BN_CLICKED)
                g_target.running = false;
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    std::string title = "ProbeTarget";
    int start = 1000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--title")
            title = argv[i + 1];
        if (std::string(argv[i]) == "--start-position")
            start = std::atoi(argv[i + 1]);
    }
    InitCommonControls();
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA mainClass{};
    mainClass.lpfnWndProc = MainProc;
    mainClass.hInstance = instance;
    mainClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    mainClass.lpszClassName = "ProbeTargetMain";
    RegisterClassA(&mainClass);
    WNDCLASSA pageClass = mainClass;
    pageClass.lpfnWndProc = PageProc;
    pageClass.lpszClassName = "ProbeTargetPage";
    RegisterClassA(&pageClass);

    g_target.focuserMessage = RegisterWindowMessageA("ZQ_FOCUSER");
    RECT frame{0, 0, 318, 141};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_TOPMOST);
    HWND w = CreateWindowExA(WS_EX_TOPMOST, "ProbeTargetMain", title.c_str(), style, 469, 124, frame.right - frame.left,
                             frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    g_target.window = w;
    g_target.tabs = Child(w, WC_TABCONTROLA, "", WS_CLIPSIBLINGS, kIdTabs, 0, 0, 318, 141);
    const char* names[] = {"Autofocus", "Control"};
    for (int i = 0; i < 2; ++i) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(names[i]);
        SendMessageA(g_target.tabs, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
        g_target.pages[i] = Child(w, "ProbeTargetPage", "", 0, 0, 4, 26, 310, 111);
    }
    HWND p0 = g_target.pages[0];
    HWND p1 = g_target.pages[1];
    g_target.log = Child(p0, "EDIT", "", ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_BORDER, kIdLog, 4, 4, 137, 105);
    HWND edit = Child(p0, "EDIT", "7", ES_MULTILINE | WS_BORDER | WS_CLIPCHILDREN, kIdEdit, 151, 20, 44, 22);
    Child(edit, UPDOWN_CLASSA, "", 0, kIdSpin, 28, 0, 14, 20);
    Child(p0, "BUTTON", "Start", BS_OWNERDRAW, kIdStart, 151, 56, 71, 29);
    Child(p0, "BUTTON", "Stop", BS_OWNERDRAW | WS_DISABLED, kIdStop, 232, 56, 71, 29);
    Child(p0, "STATIC", "Status:", 0, kIdStatusCaption, 152, 96, 36, 13);
    g_target.status = Child(p0, "STATIC", "Disconnected", 0, kIdStatus, 190, 96, 110, 13);
    Child(p1, "BUTTON", "Automatic Connection", BS_AUTOCHECKBOX, kIdAutoConnect, 4, 60, 141, 17);
    Child(p1, "BUTTON", "Connect", BS_OWNERDRAW, kIdConnect, 4, 82, 87, 29);
    Child(p1, "BUTTON", "Disabled", BS_OWNERDRAW | WS_DISABLED, kIdDisabled, 100, 82, 87, 29);
    // The second page is the one shown at start, as in the program.
    SendMessageA(g_target.tabs, TCM_SETCURSEL, 1, 0);
    ShowWindow(p0, SW_HIDE);
    SetWindowPos(g_target.tabs, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    WriteFocuser(start);
    ShowWindow(w, SW_SHOW);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
