// Probe.exe: looks at and works another program's window from outside, the way a user
// would, for end-to-end tests. Windows are found by title (message boxes, class
// #32770, are never taken for the main window); controls are found by class and text.
// Clicks are posted, so a modal box that a click opens never blocks the probe.
//
// Commands (TITLE is the main window's title, e.g. "Quillomar"):
//   list TITLE                      one line per descendant control, depth first in z-order:
//       control: index=I depth=D class=C cindex=K id=N parent=P x=X y=Y w=W h=H enabled=0|1
//                visible=0|1 style=0xS exstyle=0xE text="T"
//     (x, y relative to the main window's client area; cindex counts controls of the same
//     class, as used by text/settext/type; text escaped: \r \n \t \\ \")
//   click TITLE CAPTION             BM_CLICK (posted) on the visible, enabled button with that text
//   check TITLE CAPTION [on|off]    ticks or clears a visible check box by clicking it; prints
//                                   "checked: 0|1" (without on|off: only prints)
//   tab TITLE INDEX [--input]       selects page INDEX (0 = first) with a mouse click on its tab:
//                                   posted WM_LBUTTONDOWN/UP, or with --input real input by
//                                   SendInput; the program sees TCN_SELCHANGING/TCN_SELCHANGE
//   text TITLE CLASS INDEX          prints the text of the INDEX-th (0-based) control of CLASS;
//                                   line breaks are printed as plain newlines
//   settext TITLE CLASS INDEX TEXT  sets the text with WM_SETTEXT (like a program assigning it)
//   type TITLE CLASS INDEX TEXT [--replace]  sends WM_CHAR for each character (as typing);
//                                   --replace selects the whole text first
//   key TITLE KEY...                presses each KEY in turn as real keyboard input (SendInput) to the
//                                   window, brought to the front first: tab, shift+tab, escape, enter,
//                                   space, up, down, left, right, pgup, pgdn, home, end, f4, with any
//                                   of ctrl+, shift+, alt+ in front (e.g. ctrl+shift+tab). After each
//                                   key, once the program has handled it, prints
//                                   "key: K focus: F controls: N" (F as for focus, N the number of
//                                   controls in the window; "controls: 0" when the window has gone)
//   focus TITLE                     the control that has the keyboard focus in the window's thread:
//                                   "focus: id=N class=C text="T"", or "focus: none" / "focus: window"
//   msgbox CAPTION [--ok]           waits for a message box with that caption, prints
//                                   "text: ..." (escaped) and "topmost: 0|1", presses OK if asked
//   wait TITLE S                    waits up to S seconds for the main window, then (for at most
//                                   kReadyLimit more) until it is shown and its thread has come back
//                                   to its messages: a program found while still building its
//                                   window is not yet one a user could work
//   gone TITLE S                    waits up to S seconds for the main window to go away
//   extents TITLE FACE HEIGHT WEIGHT  for each control with a text (list order): its client size
//                                   and the size of its text in the font FACE, HEIGHT pixels high
//                                   (character height), of WEIGHT (400 normal, 700 bold):
//       extent: index=I class=C cw=W ch=H tw=TW th=TH text="T"
//     (a line break in the text starts a new line; the widest line counts)
//   dpichange TITLE DPI             sends the window WM_DPICHANGED for a move to a screen of DPI, with
//                                   its present place as the suggested one (the rectangle is written
//                                   into the program's memory, where the message's pointer must
//                                   lead); prints "dpichange: DPI" once the program has handled it
//   winfo TITLE                     prints window, class, title, rect, client, style, exstyle,
//                                   topmost, visible, iconic and enabled, one "key: value" a line
//   close TITLE                     closes the window like its close box (WM_SYSCOMMAND SC_CLOSE)
//   boxes TITLE                     "boxes: N", the visible top-level message boxes (#32770) of the
//                                   process that owns the window
//   resources TITLE                 what the process owning the window holds, one "key: value" a line:
//                                   "user: N" and "gdi: N" (GetGuiResources; "gui-counts: unavailable"
//                                   follows when the system does not count them, as under Wine),
//                                   "private: BYTES", "working: BYTES", "pagefile: BYTES"
//                                   (GetProcessMemoryInfo), "handles: N" (kernel handles), "windows: N"
//                                   (windows of the process: top-level, message-only and their children)
//   serve                           runs commands read from standard input, one a line, its
//                                   arguments separated by the byte 0x1F (UTF-8); after each
//                                   command's output prints a line of the byte 0x1E and the
//                                   command's exit code. One long-lived probe answers a test's
//                                   many questions without a Wine process start for each.
// Options, anywhere: --timeout S (how long click/check/tab/msgbox wait for their control and
// its effect; default 5), --find-timeout S (how long to look for TITLE; default 3).
// Exit codes: 0 done, 1 bad command line, 2 window or box not found, 3 control not found or
// not visible, 4 control or window disabled, 5 the action had no effect in time or failed.
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>
// psapi.h needs windows.h first.
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/raii_win.h"
#include "tools/probe/window_search_win.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using namespace qm::tools;

enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,
    kExitNoWindow = 2,
    kExitNoControl = 3,
    kExitDisabled = 4,
    kExitNoEffect = 5,
};

// A message box's text is a static control with this id.
constexpr int kMessageBoxTextId = 0xFFFF;

struct Args {
    std::vector<std::string> positional;
    double timeoutS = 5;
    double findTimeoutS = 3;
    bool ok = false;
    bool input = false;
    bool replace = false;
};

struct Failure : std::runtime_error {
    Failure(int code, const std::string& what) : std::runtime_error(what), exitCode(code) {}
    int exitCode;
};

milliseconds Seconds(double s) {
    return milliseconds(static_cast<int64_t>(s * 1000.0));
}

double ParseSeconds(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(value >= 0))
        throw Failure(kExitUsage, "not a number of seconds: " + text);
    return value;
}

int ParseIndex(const std::string& text) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 0)
        throw Failure(kExitUsage, "not an index: " + text);
    return static_cast<int>(value);
}

Args ParseArgs(const std::vector<std::string>& words) {
    Args a;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& arg = words[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= words.size())
                throw Failure(kExitUsage, arg + " needs a value");
            return words[++i];
        };
        if (arg == "--timeout")
            a.timeoutS = ParseSeconds(value());
        else if (arg == "--find-timeout")
            a.findTimeoutS = ParseSeconds(value());
        else if (arg == "--ok")
            a.ok = true;
        else if (arg == "--input")
            a.input = true;
        else if (arg == "--replace")
            a.replace = true;
        else
            a.positional.push_back(arg);
    }
    return a;
}

// Repeats test every poll interval until it holds or the time is over.
template <typename Test>
bool WaitFor(milliseconds limit, Test test) {
    const auto end = Clock::now() + limit;
    for (;;) {
        if (test())
            return true;
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

HWND MainWindow(const Args& a, const std::string& title) {
    HWND window = WaitForMainWindow(title, Seconds(a.findTimeoutS));
    if (!window)
        throw Failure(kExitNoWindow, "no window titled \"" + title + "\"");
    return window;
}

LRESULT Query(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kTextReadTimeoutMs, &result)) {
        throw Failure(kExitNoEffect, "the window does not answer");
    }
    return static_cast<LRESULT>(result);
}

std::string Hex(uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

int List(const Args& a) {
    HWND top = MainWindow(a, a.positional.at(1));
    std::vector<std::pair<std::string, int>> classCounts;
    int index = 0;
    auto depthOf = [top](HWND w) {
        int depth = 0;
        for (HWND p = GetParent(w); p && p != top; p = GetParent(p))
            ++depth;
        return depth;
    };
    for (HWND control : Descendants(top)) {
        const std::string cls = ClassOf(control);
        int cindex = 0;
        bool counted = false;
        for (auto& [name, count] : classCounts) {
            if (SameTextIgnoringCase(name, cls)) {
                cindex = count++;
                counted = true;
            }
        }
        if (!counted)
            classCounts.push_back({cls, 1});
        const RECT r = RectInClientOf(control, top);
        std::printf(
            "control: index=%d depth=%d class=%s cindex=%d id=%d parent=%s x=%ld y=%ld w=%ld h=%ld "
            "enabled=%d visible=%d style=%s exstyle=%s text=\"%s\"\n",
            index++, depthOf(control), cls.c_str(), cindex, GetDlgCtrlID(control), ClassOf(GetParent(control)).c_str(),
            r.left, r.top, r.right - r.left, r.bottom - r.top, IsWindowEnabled(control) ? 1 : 0,
            IsWindowVisible(control) ? 1 : 0, Hex(static_cast<uint32_t>(GetWindowLongPtrA(control, GWL_STYLE))).c_str(),
            Hex(static_cast<uint32_t>(GetWindowLongPtrA(control, GWL_EXSTYLE))).c_str(),
            Escape(TextOf(control).value_or("")).c_str());
    }
    return kExitOk;
}

// The size of a text in a font made from its face, character height in pixels and weight.
// (A control's own font cannot be asked for from another process under Wine: WM_GETFONT
// sent across processes answers no font.)
SIZE TextExtent(const std::string& face, int height, int weight, const std::string& text) {
    qm::win::GdiObject<HFONT> font(CreateFontA(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                               DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
    if (!font)
        throw Failure(kExitNoEffect, "cannot make the font " + face);
    qm::win::WindowDC dc(nullptr);
    qm::win::SelectObjectGuard select(dc.get(), font.get());
    RECT bounds{0, 0, 0, 0};
    DrawTextA(dc.get(), text.c_str(), static_cast<int>(text.size()), &bounds, DT_CALCRECT | DT_NOPREFIX);
    return SIZE{bounds.right - bounds.left, bounds.bottom - bounds.top};
}

int Extents(const Args& a) {
    HWND top = MainWindow(a, a.positional.at(1));
    int index = 0;
    for (HWND control : Descendants(top)) {
        const int at = index++;
        const std::string text = TextOf(control).value_or("");
        if (text.empty())
            continue;
        RECT client{};
        GetClientRect(control, &client);
        const SIZE extent =
            TextExtent(a.positional.at(2), ParseIndex(a.positional.at(3)), ParseIndex(a.positional.at(4)), text);
        std::printf("extent: index=%d class=%s cw=%ld ch=%ld tw=%ld th=%ld text=\"%s\"\n", at, ClassOf(control).c_str(),
                    client.right, client.bottom, extent.cx, extent.cy, Escape(text).c_str());
    }
    return kExitOk;
}

// The INDEX-th control of a class, counted in list order.
HWND ControlByClass(HWND top, const std::string& cls, int index) {
    int seen = 0;
    for (HWND control : Descendants(top)) {
        if (SameTextIgnoringCase(ClassOf(control), cls) && seen++ == index)
            return control;
    }
    throw Failure(kExitNoControl, "no control " + cls + " #" + std::to_string(index));
}

bool IsCheckBox(HWND control) {
    const LONG_PTR type = GetWindowLongPtrA(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE;
}

// The visible button (or check box) with this caption, waited for until it is visible
// and enabled, as a user would wait for it.
HWND UsableButton(const Args& a, HWND top, const std::string& caption, bool checkBox) {
    HWND found = nullptr;
    bool visible = false;
    WaitFor(Seconds(a.timeoutS), [&] {
        found = nullptr;
        visible = false;
        for (HWND control : Descendants(top)) {
            if (!SameTextIgnoringCase(ClassOf(control), "Button") || IsCheckBox(control) != checkBox ||
                TextOf(control).value_or("") != caption) {
                continue;
            }
            if (!found)
                found = control;
            if (IsWindowVisible(control)) {
                found = control;
                visible = true;
                break;
            }
        }
        return visible && IsWindowEnabled(found) && IsWindowEnabled(top);
    });
    if (!found)
        throw Failure(kExitNoControl, "no " + std::string(checkBox ? "check box" : "button") + " \"" + caption + "\"");
    if (!visible)
        throw Failure(kExitNoControl, "\"" + caption + "\" is not visible");
    if (!IsWindowEnabled(top))
        throw Failure(kExitDisabled, "the window is disabled (a modal box is open?)");
    if (!IsWindowEnabled(found))
        throw Failure(kExitDisabled, "\"" + caption + "\" is disabled");
    return found;
}

int Click(const Args& a) {
    HWND top = MainWindow(a, a.positional.at(1));
    HWND button = UsableButton(a, top, a.positional.at(2), false);
    if (!PostMessageA(button, BM_CLICK, 0, 0))
        throw Failure(kExitNoEffect, "cannot post the click");
    std::printf("clicked: \"%s\"\n", Escape(a.positional.at(2)).c_str());
    return kExitOk;
}

int Check(const Args& a) {
    HWND top = MainWindow(a, a.positional.at(1));
    const std::string& caption = a.positional.at(2);
    if (a.positional.size() < 4) {
        HWND box = nullptr;
        for (HWND control : Descendants(top)) {
            if (SameTextIgnoringCase(ClassOf(control), "Button") && IsCheckBox(control) &&
                TextOf(control).value_or("") == caption) {
                box = control;
                break;
            }
        }
        if (!box)
            throw Failure(kExitNoControl, "no check box \"" + caption + "\"");
        std::printf("checked: %d\n", Query(box, BM_GETCHECK) == BST_CHECKED ? 1 : 0);
        return kExitOk;
    }
    const std::string& want = a.positional.at(3);
    if (want != "on" && want != "off")
        throw Failure(kExitUsage, "check wants on or off");
    const bool on = want == "on";
    HWND box = UsableButton(a, top, caption, true);
    auto isOn = [&] { return Query(box, BM_GETCHECK) == BST_CHECKED; };
    if (isOn() != on) {
        PostMessageA(box, BM_CLICK, 0, 0);
        if (!WaitFor(Seconds(a.timeoutS), [&] { return isOn() == on; })) {
            throw Failure(kExitNoEffect, "the check box did not change");
        }
    }
    std::printf("checked: %d\n", on ? 1 : 0);
    return kExitOk;
}

// Memory in another process, for the control messages whose results come back through
// a pointer (the system carries only the standard messages' pointers across).
class RemoteBuffer {
  public:
    RemoteBuffer(HWND owner, size_t size) : size_(size) {
        DWORD processId = 0;
        GetWindowThreadProcessId(owner, &processId);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
        if (process_)
            memory_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (!memory_)
            throw Failure(kExitNoEffect, "cannot reach the program's memory");
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    ~RemoteBuffer() {
        if (memory_)
            VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
        if (process_)
            CloseHandle(process_);
    }
    LPARAM Address() const { return reinterpret_cast<LPARAM>(memory_); }
    void Read(void* out) const {
        SIZE_T done = 0;
        if (!ReadProcessMemory(process_, memory_, out, size_, &done) || done != size_) {
            throw Failure(kExitNoEffect, "cannot read the program's memory");
        }
    }

  private:
    size_t size_;
    HANDLE process_ = nullptr;
    void* memory_ = nullptr;
};

int Tab(const Args& a) {
    HWND top = MainWindow(a, a.positional.at(1));
    const int index = ParseIndex(a.positional.at(2));
    HWND tabs = nullptr;
    for (HWND control : Descendants(top)) {
        if (SameTextIgnoringCase(ClassOf(control), WC_TABCONTROLA)) {
            tabs = control;
            break;
        }
    }
    if (!tabs)
        throw Failure(kExitNoControl, "no tab control");
    if (index >= Query(tabs, TCM_GETITEMCOUNT))
        throw Failure(kExitNoControl, "no tab " + std::to_string(index));
    if (!IsWindowEnabled(top) || !IsWindowEnabled(tabs))
        throw Failure(kExitDisabled, "the tabs are disabled");
    if (Query(tabs, TCM_GETCURSEL) != index) {
        RECT item{};
        RemoteBuffer buffer(tabs, sizeof item);
        if (!Query(tabs, TCM_GETITEMRECT, index, buffer.Address()))
            throw Failure(kExitNoEffect, "no tab rectangle");
        buffer.Read(&item);
        POINT at{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
        if (a.input) {
            POINT screen = at;
            ClientToScreen(tabs, &screen);
            SetForegroundWindow(top);
            SetCursorPos(screen.x, screen.y);
            INPUT clicks[2]{};
            clicks[0].type = clicks[1].type = INPUT_MOUSE;
            clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
            clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
            SendInput(2, clicks, sizeof(INPUT));
        } else {
            const LPARAM point = MAKELPARAM(at.x, at.y);
            PostMessageA(tabs, WM_MOUSEMOVE, 0, point);
            PostMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, point);
            PostMessageA(tabs, WM_LBUTTONUP, 0, point);
        }
        if (!WaitFor(Seconds(a.timeoutS), [&] { return Query(tabs, TCM_GETCURSEL) == index; })) {
            throw Failure(kExitNoEffect, "the page did not change");
        }
    }
    std::printf("page: %d\n", index);
    return kExitOk;
}

int Text(const Args& a) {
    HWND top = MainWindow(a, a.positional.at(1));
    HWND control = ControlByClass(top, a.positional.at(2), ParseIndex(a.positional.at(3)));
    const auto text = TextOf(control);
    if (!text)
        throw Failure(kExitNoEffect, "the control does not answer");
    for (const auto& line : SplitLines(*text))
        std::printf("%s\n", line.c_str());
    return kExitOk;
}

int SetText(const Args& a) {
    HWND top = MainWindow(a, a.positional.at(1));
    HWND control = ControlByClass(top, a.positional.at(2), ParseIndex(a.positional.at(3)));
    const std::string& text = a.positional.at(4);
    // WM_SETTEXT carries its string across processes.
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                             kTextReadTimeoutMs, &result) ||
        !result) {
        throw Failure(kExitNoEffect, "the text was not taken");
    }
    std::printf("text: \"%s\"\n", Escape(TextOf(control).value_or("")).c_str());
    return kExitOk;
}

int Type(const Args& a) {
    HWND top = MainWindow(a, a.positional.at(1));
    HWND control = ControlByClass(top, a.positional.at(2), ParseIndex(a.positional.at(3)));
    if (!IsWindowEnabled(top) || !IsWindowEnabled(control))
        throw Failure(kExitDisabled, "the control is disabled");
    // Sent, not posted: a message sent from another thread is handled before anything
    // posted, so posted keys could not be waited for; sent ones arrive in order.
    if (a.replace)
        Query(control, EM_SETSEL, 0, -1);
    for (unsigned char c : a.positional.at(4))
        Query(control, WM_CHAR, c, 1);
    std::printf("text: \"%s\"\n", Escape(TextOf(control).value_or("")).c_str());
    return kExitOk;
}

struct KeyName {
    const char* name;
    WORD virtualKey;
};

constexpr KeyName kKeyNames[] = {
    {"tab", VK_TAB},   {"escape", VK_ESCAPE}, {"enter", VK_RETURN}, {"space", VK_SPACE}, {"up", VK_UP},
    {"down", VK_DOWN}, {"left", VK_LEFT},     {"right", VK_RIGHT},  {"pgup", VK_PRIOR},  {"pgdn", VK_NEXT},
    {"home", VK_HOME}, {"end", VK_END},       {"f4", VK_F4},
};

// "ctrl+shift+tab" as the keys to hold down, the held ones first.
std::vector<WORD> ParseChord(const std::string& chord) {
    std::vector<WORD> keys;
    size_t start = 0;
    for (;;) {
        const size_t plus = chord.find('+', start);
        const std::string part = chord.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        if (plus != std::string::npos) {
            if (part == "ctrl")
                keys.push_back(VK_CONTROL);
            else if (part == "shift")
                keys.push_back(VK_SHIFT);
            else if (part == "alt")
                keys.push_back(VK_MENU);
            else
                throw Failure(kExitUsage, "not a modifier: " + part);
            start = plus + 1;
            continue;
        }
        for (const KeyName& k : kKeyNames) {
            if (part == k.name) {
                keys.push_back(k.virtualKey);
                return keys;
            }
        }
        throw Failure(kExitUsage, "not a key: " + part);
    }
}

INPUT KeyInput(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    if (virtualKey == VK_UP || virtualKey == VK_DOWN || virtualKey == VK_LEFT || virtualKey == VK_RIGHT ||
        virtualKey == VK_PRIOR || virtualKey == VK_NEXT || virtualKey == VK_HOME || virtualKey == VK_END) {
        input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    }
    return input;
}

// The focused control of the window's thread, as focus prints it.
std::string FocusOf(HWND top) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info))
        throw Failure(kExitNoEffect, "no thread information (" + std::to_string(GetLastError()) + ")");
    HWND focus = info.hwndFocus;
    if (!focus)
        return "none";
    if (focus == top)
        return "window";
    return "id=" + std::to_string(GetDlgCtrlID(focus)) + " class=" + ClassOf(focus) + " text=\"" +
           Escape(TextOf(focus).value_or("")) + "\"";
}

// Waits until the program has handled input sent before: its thread answers sent messages
// only between the messages it takes from its queue, and takes sent ones before posted
// ones and those before input. So each answered round means the thread has come back to
// its queue once more; a few rounds cover the key, the character it produces and what
// handling them posts (a close request, say). A handler that blocks holds the answer.
void Settle(HWND top) {
    for (int round = 0; round < 4; ++round) {
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutA(top, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &ignored))
            return;
        std::this_thread::sleep_for(milliseconds(20));
    }
}

int Key(const Args& a) {
    HWND top = MainWindow(a, a.positional.at(1));
    std::vector<std::vector<WORD>> chords;
    for (size_t i = 2; i < a.positional.size(); ++i)
        chords.push_back(ParseChord(a.positional[i]));
    if (!IsWindowEnabled(top))
        throw Failure(kExitDisabled, "the window is disabled (a modal box is open?)");
    if (GetForegroundWindow() != top) {
        SetForegroundWindow(top);
        if (!WaitFor(Seconds(a.timeoutS), [&] { return GetForegroundWindow() == top; }))
            throw Failure(kExitNoEffect, "the window does not come to the front");
    }
    for (size_t i = 0; i < chords.size(); ++i) {
        std::vector<INPUT> inputs;
        for (WORD k : chords[i])
            inputs.push_back(KeyInput(k, false));
        for (auto k = chords[i].rbegin(); k != chords[i].rend(); ++k)
            inputs.push_back(KeyInput(*k, true));
        if (SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size())
            throw Failure(kExitNoEffect, "the keys were not sent");
        Settle(top);
        if (!IsWindow(top)) {
            std::printf("key: %s focus: none controls: 0\n", a.positional[i + 2].c_str());
            continue;
        }
        const std::string focus = FocusOf(top);
        std::printf("key: %s focus: %s controls: %zu\n", a.positional[i + 2].c_str(), focus.c_str(),
                    Descendants(top).size());
    }
    return kExitOk;
}

int Focus(const Args& a) {
    HWND top = MainWindow(a, a.positional.at(1));
    std::printf("focus: %s\n", FocusOf(top).c_str());
    return kExitOk;
}

int MsgBox(const Args& a) {
    const std::string& caption = a.positional.at(1);
    HWND box = nullptr;
    WaitFor(Seconds(a.timeoutS), [&] { return (box = FindMessageBox(caption)) != nullptr; });
    if (!box)
        throw Failure(kExitNoWindow, "no message box captioned \"" + caption + "\"");
    // The box may be found before its text is in place.
    std::string text;
    WaitFor(Seconds(a.timeoutS), [&] {
        HWND label = GetDlgItem(box, kMessageBoxTextId);
        text = label ? TextOf(label).value_or("") : "";
        return !text.empty();
    });
    std::printf("text: %s\n", Escape(text).c_str());
    std::printf("topmost: %d\n", (GetWindowLongPtrA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
    if (a.ok) {
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
        if (!WaitFor(Seconds(a.timeoutS), [&] { return !IsWindow(box); })) {
            throw Failure(kExitNoEffect, "the box did not close");
        }
        std::printf("closed: 1\n");
    }
    return kExitOk;
}

// How long wait gives a found window to be shown and answer. A program that hangs on
// its start is still found: the checks after say what is wrong with it.
constexpr milliseconds kReadyLimit{5000};

int Wait(const Args& a) {
    const std::string& title = a.positional.at(1);
    HWND window = WaitForMainWindow(title, Seconds(ParseSeconds(a.positional.at(2))));
    if (!window)
        throw Failure(kExitNoWindow, "no window titled \"" + title + "\"");
    const auto readyEnd = Clock::now() + kReadyLimit;
    if (WaitFor(kReadyLimit, [&] { return IsWindowVisible(window) != FALSE; })) {
        const auto left = std::chrono::duration_cast<milliseconds>(readyEnd - Clock::now());
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(std::max<int64_t>(left.count(), 1)),
                            &ignored);
    }
    std::printf("window: %s\n", Hex(reinterpret_cast<uintptr_t>(window)).c_str());
    return kExitOk;
}

int Gone(const Args& a) {
    const std::string& title = a.positional.at(1);
    if (!WaitFor(Seconds(ParseSeconds(a.positional.at(2))), [&] { return FindMainWindow(title) == nullptr; })) {
        throw Failure(kExitNoEffect, "the window is still there");
    }
    std::printf("gone: 1\n");
    return kExitOk;
}

int WindowInfo(const Args& a) {
    HWND top = MainWindow(a, a.positional.at(1));
    RECT rect{}, client{};
    GetWindowRect(top, &rect);
    GetClientRect(top, &client);
    POINT origin{0, 0};
    ClientToScreen(top, &origin);
    const auto style = static_cast<uint32_t>(GetWindowLongPtrA(top, GWL_STYLE));
    const auto exStyle = static_cast<uint32_t>(GetWindowLongPtrA(top, GWL_EXSTYLE));
    std::printf("window: %s\n", Hex(reinterpret_cast<uintptr_t>(top)).c_str());
    std::printf("class: %s\n", ClassOf(top).c_str());
    std::printf("title: %s\n", Escape(TextOf(top).value_or("")).c_str());
    std::printf("rect: x=%ld y=%ld w=%ld h=%ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    std::printf("client: x=%ld y=%ld w=%ld h=%ld\n", origin.x, origin.y, client.right, client.bottom);
    std::printf("style: %s\n", Hex(style).c_str());
    std::printf("exstyle: %s\n", Hex(exStyle).c_str());
    std::printf("topmost: %d\n", (exStyle & WS_EX_TOPMOST) ? 1 : 0);
    std::printf("visible: %d\n", IsWindowVisible(top) ? 1 : 0);
    std::printf("iconic: %d\n", IsIconic(top) ? 1 : 0);
    std::printf("enabled: %d\n", IsWindowEnabled(top) ? 1 : 0);
    return kExitOk;
}

int DpiChange(const Args& a) {
    HWND top = MainWindow(a, a.positional.at(1));
    const int dpi = ParseIndex(a.positional.at(2));
    RECT suggested{};
    GetWindowRect(top, &suggested);
    DWORD processId = 0;
    GetWindowThreadProcessId(top, &processId);
    qm::win::KernelHandle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId));
    if (!process)
        throw Failure(kExitNoEffect, "cannot open the program's process");
    void* remote = VirtualAllocEx(process.get(), nullptr, sizeof suggested, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote)
        throw Failure(kExitNoEffect, "cannot place the rectangle in the program's memory");
    const bool written = WriteProcessMemory(process.get(), remote, &suggested, sizeof suggested, nullptr) != FALSE;
    DWORD_PTR result = 0;
    const bool sent = written && SendMessageTimeoutA(top, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi),
                                                     reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 10000,
                                                     &result) != 0;
    VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
    if (!sent)
        throw Failure(kExitNoEffect, "the window did not take WM_DPICHANGED");
    std::printf("dpichange: %d\n", dpi);
    return kExitOk;
}

int Close(const Args& a) {
    HWND top = MainWindow(a, a.positional.at(1));
    PostMessageA(top, WM_SYSCOMMAND, SC_CLOSE, 0);
    std::printf("closing: 1\n");
    return kExitOk;
}

// Every window of a process: top-level windows (children of the desktop), message-only
// windows, and all their descendants.
size_t WindowsOfProcess(DWORD processId) {
    size_t count = 0;
    auto countTree = [&](HWND top) {
        DWORD owner = 0;
        GetWindowThreadProcessId(top, &owner);
        if (owner == processId)
            count += 1 + Descendants(top).size();
    };
    for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT))
        countTree(window);
    for (HWND window = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
         window = FindWindowExA(HWND_MESSAGE, window, nullptr, nullptr)) {
        countTree(window);
    }
    return count;
}

int Resources(const Args& a) {
    HWND top = MainWindow(a, a.positional.at(1));
    DWORD processId = 0;
    GetWindowThreadProcessId(top, &processId);
    const qm::win::KernelHandle owner(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!owner)
        throw Failure(kExitNoEffect, "cannot open the process (" + std::to_string(GetLastError()) + ")");
    HANDLE process = owner.get();

    SetLastError(ERROR_SUCCESS);
    const DWORD user = GetGuiResources(process, GR_USEROBJECTS);
    const DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
    const DWORD guiError = GetLastError();
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory))
        throw Failure(kExitNoEffect, "no memory counters (" + std::to_string(GetLastError()) + ")");
    DWORD handles = 0;
    GetProcessHandleCount(process, &handles);

    std::printf("pid: %lu\n", static_cast<unsigned long>(processId));
    std::printf("user: %lu\n", static_cast<unsigned long>(user));
    std::printf("gdi: %lu\n", static_cast<unsigned long>(gdi));
    // A process with a window holds USER objects, so two zeros mean the count is not kept.
    if (user == 0 && gdi == 0)
        std::printf("gui-counts: unavailable (%lu)\n", static_cast<unsigned long>(guiError));
    std::printf("private: %llu\n", static_cast<unsigned long long>(memory.PrivateUsage));
    std::printf("working: %llu\n", static_cast<unsigned long long>(memory.WorkingSetSize));
    std::printf("pagefile: %llu\n", static_cast<unsigned long long>(memory.PagefileUsage));
    std::printf("handles: %lu\n", static_cast<unsigned long>(handles));
    std::printf("windows: %zu\n", WindowsOfProcess(processId));
    return kExitOk;
}

// The message boxes (dialogs of class #32770) that the main window's process shows at
// this moment, top-level and visible: two at once means one box was opened over another.
int Boxes(const Args& a) {
    HWND top = MainWindow(a, a.positional.at(1));
    DWORD processId = 0;
    GetWindowThreadProcessId(top, &processId);
    size_t count = 0;
    for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window) && ClassOf(window) == "#32770") ++count;
    }
    std::printf("boxes: %zu\n", count);
    return kExitOk;
}

struct Command {
    const char* name;
    size_t arguments;  // positional arguments after the command's name
    int (*run)(const Args&);
};

constexpr Command kCommands[] = {
    {"list", 1, List}, {"click", 2, Click},     {"check", 2, Check},      {"tab", 2, Tab},
    {"text", 3, Text}, {"settext", 4, SetText}, {"type", 4, Type},        {"msgbox", 1, MsgBox},
    {"wait", 2, Wait}, {"gone", 2, Gone},       {"winfo", 1, WindowInfo}, {"close", 1, Close},
    {"resources", 1, Resources}, {"key", 2, Key}, {"focus", 1, Focus}, {"boxes", 1, Boxes},
    {"extents", 4, Extents}, {"dpichange", 2, DpiChange},
};

// Runs one command line (without the program's name) and gives its exit code.
int RunCommand(const std::vector<std::string>& words) {
    try {
        const Args args = ParseArgs(words);
        if (!args.positional.empty()) {
            for (const Command& c : kCommands) {
                if (args.positional[0] == c.name && args.positional.size() >= c.arguments + 1)
                    return c.run(args);
            }
        }
        throw Failure(kExitUsage,
                      "usage: Probe.exe list|click|check|tab|text|settext|type|key|focus|msgbox|wait|gone|winfo|close|"
                      "resources|boxes|extents|dpichange|serve "
                      "... (see the source for the arguments)");
    } catch (const Failure& f) {
        std::printf("error: %s\n", f.what());
        return f.exitCode;
    } catch (const std::exception& e) {
        std::printf("error: %s\n", e.what());
        return kExitNoEffect;
    }
}

constexpr char kServeArgumentSeparator = '\x1F';
constexpr char kServeStatusMark = '\x1E';

// A UTF-8 argument in the ANSI code page, as Wine hands a command line's arguments to
// main: a served command sees the same bytes as the same command started on its own.
std::string AnsiFromUtf8(const std::string& text) {
    if (text.empty())
        return text;
    const int wideLength = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (wideLength <= 0)
        return text;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), wideLength);
    const int ansiLength = WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (ansiLength <= 0)
        return text;
    std::string ansi(static_cast<size_t>(ansiLength), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, ansi.data(), ansiLength, nullptr, nullptr);
    return ansi;
}

std::vector<std::string> SplitServedLine(const std::string& line) {
    std::vector<std::string> words;
    size_t start = 0;
    for (;;) {
        const size_t end = line.find(kServeArgumentSeparator, start);
        std::string word = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos) {
            if (!word.empty())  // the separator also ends the last argument
                words.push_back(AnsiFromUtf8(word));
            return words;
        }
        words.push_back(AnsiFromUtf8(word));
        start = end + 1;
    }
}

// Answers command lines from standard input until it ends.
int Serve() {
    std::string line;
    for (int c; (c = std::getchar()) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const int exitCode = RunCommand(SplitServedLine(line));
        std::printf("%c%d\n", kServeStatusMark, exitCode);
        line.clear();
    }
    return kExitOk;
}

}  // namespace

// Positions and sizes are read in the screen's own pixels: a program that the system
// scales would otherwise be shown the sizes of a 96-DPI screen.
void SeeRealPixels() {
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    HMODULE user32 = GetModuleHandleA("user32.dll");
    auto setContext = reinterpret_cast<SetContextFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
    const auto perMonitorV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
    if (!setContext || !setContext(perMonitorV2))
        SetProcessDPIAware();
}

int main(int argc, char** argv) {
    SeeRealPixels();
    // Tests read the output through a pipe: no buffering.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 2 && std::string(argv[1]) == "serve")
        return Serve();
    return RunCommand(std::vector<std::string>(argv + 1, argv + argc));
}
