// SimHost.exe: a simulated imaging host for end-to-end tests. It plays the host's side
// of the "ZQ_FOCUSER" registered-message link with the program's main window: it tells
// the program its window handle (command 3), starts a run (command 2, value 22), then
// "exposes" at a fixed cadence and posts one focus value per exposure (command 0). Each
// value comes from the focus model (focus_model.h) at the position where the simulated
// focuser stands when the exposure ends, read from %QM_SIM_DIR%\focuser.state. It waits
// for the end-of-run report (its own window receives the message with code 4, value 44),
// then reads the program's log pane and status line and prints what it found.
//
// Usage: SimHost.exe [options]
//   --title T            main window title (default "Quillomar")
//   --find-timeout-s S   how long to look for the window (default 10)
//   --true-focus N       true focus position (default: focuser position at start + --true-offset)
//   --true-offset N      offset of the true focus from the position at start (default 0)
//   --min-fwhm X --slope X --scale X   shape of the focus curve (defaults 2, 0.02, 100000)
//   --noise X            multiplicative noise, standard deviation (default 0)
//   --additive-noise X   additive noise, standard deviation in focus-value units (default 0)
//   --seeing X           seeing jitter, standard deviation of the log of the blur (default 0)
//   --slope-above X      slope above the true focus, for a skewed curve (default: --slope)
//   --cloud-at P --cloud-factor F   exposures at position P dimmed by F (a passing cloud)
//   --seed N             noise generator seed (default 1)
//   --cadence-ms N       time between exposures (default 300)
//   --timeout-s S        how long to wait for the report (default 120)
//   --state-file PATH    focuser state file (default %QM_SIM_DIR%\focuser.state)
//   --state-mapping NAME read the focuser state from the shared memory NAME instead, where
//                        the simulator publishes it with QM_SIM_STATE_MAPPING=NAME and no
//                        steering directory (no file work on either side, for timings)
//   --no-start           do not send command 2
//   --host-handle-zero   send command 3 with 0 instead of this host's window handle
//   --flood N            at exposure --flood-at (default 3), post N values at once instead of one
//   --expect-no-report S expose for S seconds; succeed only if no report arrived
//   --count-reports S    after the run, keep listening S seconds before counting the reports
//   --raw CODE VALUE     only send this message and exit (repeatable, sent in order);
//                        CODE and VALUE are decimal or 0x hexadecimal, VALUE may be negative
//   --send               with --raw: SendMessage (waits for the program) instead of PostMessage
//   --send-values        send commands 3 and 2 and every focus value with SendMessageTimeout
//                        instead of posting them; each send returns once the program has
//                        handled the message (including a move it set off), and the next
//                        exposure starts then, so --cadence-ms counts from that return
//   --numbered-values    the Kth exposure reports the focus value 1000+K instead of the
//                        model's, so a log line tells which exposure it counted
//   --zero-position P    exposures that end with the focuser at P report the value 0
//   --value-at P V       exposures that end with the focuser at P report the value V
//                        (repeatable: a row of chosen values)
//   --close              post WM_CLOSE to the program's window (after any --raw messages), as
//                        a host that ends the program does, and exit
//   --quiet              do not print one line per exposure
//   --timing             print when each focus value was posted and when the report came,
//                        in milliseconds from the start command (for the run overhead benchmark)
//
// Output, one fact per line, "key: ..." (stdout, unbuffered):
//   window: 0x...                       the program's main window
//   host: 0x...                         this host's window
//   truefocus: N
//   sent: code=C value=V [result=R]     every message sent to the program (except focus values)
//   exposure: n=K position=P value=V moved=M   every focus value posted (unless --quiet);
//                                       M is 1 when the focuser moved during the exposure
//   sendfail: n=K                       with --send-values: the send of a focus value failed
//   flood: sent=N failed=F position=P
//   report: code=4 value=44             each report received
//   message: code=C value=V             any other focuser message received
//   log: <line>                         every line of the log pane, in order
//   loglines: N
//   result: BestFocus=B TrueFocus=T Error=E     (or "result: none TrueFocus=T" without a result line)
//   status: <text>                      the status line, if found
//   final: Position=P TrueFocus=T Error=E [moving=1]
//   reports: N                          reports received in all
//   overlapped: N                       exposures during which the focuser moved
//   error: <text>                       what went wrong, before a non-zero exit
//   timing: exposure n=K ms=T           with --timing: focus value K posted T ms after command 2
//   timing: report ms=T                 with --timing: the first report arrived T ms after command 2
// Exit codes: 0 report received (with --expect-no-report: none received; with --raw
// or --close: all sent), 1 bad command line, 2 window not found, 3 timeout without report,
// 4 focuser state unreadable, 5 a report arrived although none was expected,
// 6 this host's window could not be made, 7 the program's window went away, 8 a raw
// message could not be sent.
#include <windows.h>

#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tools/probe/window_search_win.h"
#include "app/host_protocol.h"
#include "tools/sim_ascom/focuser_state.h"
#include "tools/sim_ascom/state_mapping_win.h"
#include "tools/sim_host/focus_model.h"
#include "tools/sim_host/host_text.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kFocuserMessageName[] = "ZQ_FOCUSER";
namespace host = qm::host;

// How long a state file that is being rewritten may stay unreadable.
constexpr milliseconds kStateReadPatience{300};
// stateFile holding this prefix names shared memory (--state-mapping), not a file.
constexpr char kMappingPrefix[] = "mapping:";
constexpr milliseconds kStateRetryInterval{10};
// How long the focuser may still be moving when the run has ended.
constexpr milliseconds kFinalSettleLimit{5000};

enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,
    kExitNoWindow = 2,
    kExitTimeout = 3,
    kExitNoState = 4,
    kExitUnexpectedReport = 5,
    kExitSetup = 6,
    kExitWindowGone = 7,
    kExitSendFailed = 8,
};

struct RawMessage {
    WPARAM code;
    LPARAM value;
};

struct Options {
    std::string title = "Quillomar";
    double findTimeoutS = 10;
    std::optional<double> trueFocus;
    double trueOffset = 0;
    qm::sim::FocusModelParams model;
    int cadenceMs = 300;
    double timeoutS = 120;
    std::string stateFile;
    bool noStart = false;
    bool hostHandleZero = false;
    int flood = 0;
    int floodAt = 3;
    std::optional<double> expectNoReportS;
    double countReportsS = 0;
    std::vector<RawMessage> raw;
    bool send = false;
    bool quiet = false;
    bool timing = false;
    bool close = false;
    bool sendValues = false;
    bool numberedValues = false;
    std::optional<int32_t> zeroPosition;
    std::vector<std::pair<int32_t, int32_t>> valueAt;  // position, value reported there
};

void Print(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
void Print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fputc('\n', stdout);
}

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int64_t ParseInteger(const std::string& text) {
    try {
        size_t used = 0;
        const long long value = std::stoll(text, &used, 0);
        if (used == text.size())
            return value;
    } catch (const std::exception&) {
    }
    throw UsageError("not an integer: " + text);
}

double ParseReal(const std::string& text) {
    try {
        size_t used = 0;
        const double value = std::stod(text, &used);
        if (used == text.size() && std::isfinite(value))
            return value;
    } catch (const std::exception&) {
    }
    throw UsageError("not a number: " + text);
}

LPARAM ToLParam(int64_t value) {
    return static_cast<LPARAM>(qm::sim::AsHostValue(value));
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    std::vector<std::string> args(argv + 1, argv + argc);
    size_t i = 0;
    auto next = [&](const std::string& option) -> std::string {
        if (i + 1 >= args.size())
            throw UsageError(option + " needs a value");
        return args[++i];
    };
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--title")
            o.title = next(a);
        else if (a == "--find-timeout-s")
            o.findTimeoutS = ParseReal(next(a));
        else if (a == "--true-focus")
            o.trueFocus = ParseReal(next(a));
        else if (a == "--true-offset")
            o.trueOffset = ParseReal(next(a));
        else if (a == "--min-fwhm")
            o.model.minFwhm = ParseReal(next(a));
        else if (a == "--slope")
            o.model.slope = ParseReal(next(a));
        else if (a == "--scale")
            o.model.scale = ParseReal(next(a));
        else if (a == "--noise")
            o.model.noise = ParseReal(next(a));
        else if (a == "--additive-noise")
            o.model.additiveNoise = ParseReal(next(a));
        else if (a == "--seeing")
            o.model.seeing = ParseReal(next(a));
        else if (a == "--slope-above")
            o.model.slopeAbove = ParseReal(next(a));
        else if (a == "--cloud-at")
            o.model.cloudPosition = ParseReal(next(a));
        else if (a == "--cloud-factor")
            o.model.cloudFactor = ParseReal(next(a));
        else if (a == "--seed")
            o.model.seed = static_cast<uint32_t>(ParseInteger(next(a)));
        else if (a == "--cadence-ms")
            o.cadenceMs = static_cast<int>(ParseInteger(next(a)));
        else if (a == "--timeout-s")
            o.timeoutS = ParseReal(next(a));
        else if (a == "--state-file")
            o.stateFile = next(a);
        else if (a == "--state-mapping")
            o.stateFile = kMappingPrefix + next(a);
        else if (a == "--no-start")
            o.noStart = true;
        else if (a == "--host-handle-zero")
            o.hostHandleZero = true;
        else if (a == "--flood")
            o.flood = static_cast<int>(ParseInteger(next(a)));
        else if (a == "--flood-at")
            o.floodAt = static_cast<int>(ParseInteger(next(a)));
        else if (a == "--expect-no-report")
            o.expectNoReportS = ParseReal(next(a));
        else if (a == "--count-reports")
            o.countReportsS = ParseReal(next(a));
        else if (a == "--send")
            o.send = true;
        else if (a == "--quiet")
            o.quiet = true;
        else if (a == "--timing")
            o.timing = true;
        else if (a == "--close")
            o.close = true;
        else if (a == "--send-values")
            o.sendValues = true;
        else if (a == "--numbered-values")
            o.numberedValues = true;
        else if (a == "--zero-position")
            o.zeroPosition = static_cast<int32_t>(ParseInteger(next(a)));
        else if (a == "--value-at") {
            const auto position = static_cast<int32_t>(ParseInteger(next(a)));
            o.valueAt.emplace_back(position, static_cast<int32_t>(ParseInteger(next(a))));
        }
        else if (a == "--raw") {
            const int64_t code = ParseInteger(next(a));
            const int64_t value = ParseInteger(next(a));
            o.raw.push_back({static_cast<WPARAM>(code), ToLParam(value)});
        } else {
            throw UsageError("unknown option: " + a);
        }
    }
    if (o.cadenceMs < 1)
        throw UsageError("--cadence-ms must be at least 1");
    if (o.flood < 0 || o.floodAt < 1)
        throw UsageError("--flood must be >= 0 and --flood-at >= 1");
    if (o.stateFile.empty()) {
        const char* dir = std::getenv("QM_SIM_DIR");
        if (dir && *dir)
            o.stateFile = std::string(dir) + "\\focuser.state";
    }
    return o;
}

milliseconds Seconds(double s) {
    return milliseconds(static_cast<int64_t>(s * 1000.0));
}

// The simulated focuser's state, or nothing when the file is missing or stays
// half-written (the focuser rewrites it on every call) for longer than a moment.
std::optional<qm::sim::FocuserState> ReadFocuserState(const std::string& path) {
    if (path.empty())
        return std::nullopt;
    const auto end = Clock::now() + kStateReadPatience;
    for (;;) {
        if (path.rfind(kMappingPrefix, 0) == 0) {
            const auto content = qm::sim::ReadPublishedState(path.substr(std::strlen(kMappingPrefix)));
            if (content && qm::sim::IsCompleteStateText(*content))
                return qm::sim::FocuserState::Parse(*content);
            if (Clock::now() >= end)
                return std::nullopt;
            std::this_thread::sleep_for(kStateRetryInterval);
            continue;
        }
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::stringstream text;
            text << in.rdbuf();
            const std::string content = text.str();
            if (qm::sim::IsCompleteStateText(content)) {
                return qm::sim::FocuserState::Parse(content);
            }
        }
        if (Clock::now() >= end)
            return std::nullopt;
        std::this_thread::sleep_for(kStateRetryInterval);
    }
}

// This host's own window: hidden and top-level, it receives the program's reports.
class HostWindow {
  public:
    explicit HostWindow(UINT focuserMessage) : focuserMessage_(focuserMessage) {
        const HINSTANCE instance = GetModuleHandleA(nullptr);
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &HostWindow::Procedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kClassName;
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(0, kClassName, "SimHost", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 200, 100,
                                  nullptr, nullptr, instance, this);
    }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    ~HostWindow() {
        if (window_)
            DestroyWindow(window_);
    }

    HWND Handle() const { return window_; }
    int Reports() const { return reports_; }
    std::optional<Clock::time_point> FirstReportTime() const { return firstReport_; }

    // Handles this thread's messages until `until` or, when stopAtReport, until a
    // report has arrived.
    void PumpUntil(Clock::time_point until, bool stopAtReport) {
        const int reportsBefore = reports_;
        for (;;) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            if (stopAtReport && reports_ > reportsBefore)
                return;
            const auto now = Clock::now();
            if (now >= until)
                return;
            const auto wait = std::chrono::duration_cast<milliseconds>(until - now).count() + 1;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(wait), QS_ALLINPUT);
        }
    }

  private:
    static constexpr char kClassName[] = "QmSimHostWindow";

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        // A registered message has no fixed number, so it cannot be a case label.
        if (self && message == self->focuserMessage_) {
            self->OnFocuserMessage(wParam, lParam);
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    void OnFocuserMessage(WPARAM code, LPARAM value) {
        if (code == host::kRunReport && value == host::kRunReportValue) {
            if (reports_ == 0)
                firstReport_ = Clock::now();
            ++reports_;
            Print("report: code=4 value=44");
        } else {
            Print("message: code=%llu value=%lld", static_cast<unsigned long long>(code),
                  static_cast<long long>(value));
        }
    }

    UINT focuserMessage_;
    HWND window_ = nullptr;
    int reports_ = 0;
    std::optional<Clock::time_point> firstReport_;
};

// How long a send may wait for the program: longer than its longest handling of one
// message (the last focus value of a run with two moves of up to 10 s each).
constexpr UINT kSendTimeoutMs = 60000;

struct Sender {
    HWND target;
    UINT message;

    bool Post(WPARAM code, LPARAM value) const { return PostMessageA(target, message, code, value) != 0; }
    // Returns once the program has handled the message (or the time-out has passed).
    bool Send(WPARAM code, LPARAM value) const {
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(target, message, code, value, SMTO_NORMAL, kSendTimeoutMs, &result) != 0;
    }
    bool Deliver(bool send, WPARAM code, LPARAM value) const { return send ? Send(code, value) : Post(code, value); }
};

int SendRaw(const Options& o, const Sender& to) {
    int exitCode = kExitOk;
    for (const RawMessage& m : o.raw) {
        const auto code = static_cast<unsigned long long>(m.code);
        const auto value = static_cast<long long>(m.value);
        if (o.send) {
            DWORD_PTR result = 0;
            const bool ok = SendMessageTimeoutA(to.target, to.message, m.code, m.value, SMTO_NORMAL,
                                                static_cast<UINT>(o.timeoutS * 1000), &result) != 0;
            if (ok) {
                Print("sent: code=%llu value=%lld result=%lld", code, value, static_cast<long long>(result));
            } else {
                Print("error: SendMessage code=%llu value=%lld failed or timed out", code, value);
                exitCode = kExitSendFailed;
            }
        } else if (to.Post(m.code, m.value)) {
            Print("sent: code=%llu value=%lld", code, value);
        } else {
            Print("error: PostMessage code=%llu value=%lld failed (%lu)", code, value, GetLastError());
            exitCode = kExitSendFailed;
        }
    }
    return exitCode;
}

// Prints the log pane, the result line's verdict and the status line.
void PrintProgramView(HWND target, double trueFocus) {
    const long long truth = std::llround(trueFocus);
    std::optional<long long> best;
    if (HWND log = qm::tools::FindLogPane(target)) {
        const auto lines = qm::tools::SplitLines(qm::tools::TextOf(log).value_or(""));
        for (const auto& line : lines) {
            Print("log: %s", line.c_str());
            if (const auto position = qm::sim::ParseResultLine(line))
                best = static_cast<long long>(*position);
        }
        Print("loglines: %zu", lines.size());
    } else {
        Print("error: log pane not found");
    }
    if (best) {
        Print("result: BestFocus=%lld TrueFocus=%lld Error=%lld", *best, truth, *best - truth);
    } else {
        Print("result: none TrueFocus=%lld", truth);
    }
    if (HWND status = qm::tools::FindStatusLabel(target)) {
        Print("status: %s", qm::tools::Escape(qm::tools::TextOf(status).value_or("")).c_str());
    }
}

// Prints where the focuser ended, once it has stopped (or stayed moving too long).
void PrintFinalPosition(const std::string& stateFile, double trueFocus) {
    const long long truth = std::llround(trueFocus);
    const auto end = Clock::now() + kFinalSettleLimit;
    for (;;) {
        const auto state = ReadFocuserState(stateFile);
        if (!state) {
            Print("final: unknown TrueFocus=%lld", truth);
            return;
        }
        const uint32_t now = GetTickCount();
        const bool moving = state->MovingAt(now);
        if (!moving || Clock::now() >= end) {
            const long long position = state->PositionAt(now);
            Print("final: Position=%lld TrueFocus=%lld Error=%lld%s", position, truth, position - truth,
                  moving ? " moving=1" : "");
            return;
        }
        std::this_thread::sleep_for(milliseconds(50));
    }
}

int Run(const Options& o) {
    const UINT focuserMessage = RegisterWindowMessageA(kFocuserMessageName);
    if (!focuserMessage) {
        Print("error: RegisterWindowMessage failed");
        return kExitSetup;
    }
    const HWND target = qm::tools::WaitForMainWindow(o.title, Seconds(o.findTimeoutS));
    if (!target) {
        Print("error: no window titled \"%s\"", o.title.c_str());
        return kExitNoWindow;
    }
    Print("window: 0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(target)));
    const Sender to{target, focuserMessage};
    if (!o.raw.empty() || o.close) {
        int exitCode = SendRaw(o, to);
        if (o.close) {
            if (PostMessageA(target, WM_CLOSE, 0, 0)) {
                Print("sent: WM_CLOSE");
            } else {
                Print("error: PostMessage WM_CLOSE failed (%lu)", GetLastError());
                exitCode = kExitSendFailed;
            }
        }
        return exitCode;
    }

    double trueFocus = 0;
    if (o.trueFocus) {
        trueFocus = *o.trueFocus;
    } else {
        const auto state = ReadFocuserState(o.stateFile);
        if (!state) {
            Print("error: cannot read the focuser state \"%s\"", o.stateFile.c_str());
            return kExitNoState;
        }
        trueFocus = state->PositionAt(GetTickCount()) + o.trueOffset;
    }
    Print("truefocus: %lld", std::llround(trueFocus));
    qm::sim::FocusModelParams params = o.model;
    params.trueFocus = trueFocus;
    qm::sim::FocusModel model(params);

    HostWindow host(focuserMessage);
    if (!host.Handle()) {
        Print("error: cannot create the host window");
        return kExitSetup;
    }
    Print("host: 0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(host.Handle())));

    const LPARAM hostValue = o.hostHandleZero ? 0 : reinterpret_cast<LPARAM>(host.Handle());
    to.Deliver(o.sendValues, host::kHostWindow, hostValue);
    Print("sent: code=3 value=%lld", static_cast<long long>(hostValue));
    const auto runStart = Clock::now();
    if (!o.noStart) {
        to.Deliver(o.sendValues, host::kStartRun, host::kStartRunValue);
        Print("sent: code=2 value=22");
    }
    auto sinceStart = [runStart](Clock::time_point t) {
        return std::chrono::duration<double, std::milli>(t - runStart).count();
    };

    const bool expectNone = o.expectNoReportS.has_value();
    const auto deadline = Clock::now() + Seconds(expectNone ? *o.expectNoReportS : o.timeoutS);
    const milliseconds cadence(o.cadenceMs);
    auto nextExposure = Clock::now() + cadence;
    std::optional<int32_t> lastPosition;
    // Where the focuser stood and whether it moved when the exposure under way began.
    std::optional<qm::sim::FocuserState> exposureStart = ReadFocuserState(o.stateFile);
    uint32_t exposureStartTick = GetTickCount();
    int exposures = 0;
    int overlapped = 0;
    bool windowGone = false;
    bool stateLost = false;
    for (;;) {
        host.PumpUntil(std::min(nextExposure, deadline), !expectNone);
        if ((host.Reports() > 0 && !expectNone) || Clock::now() >= deadline)
            break;
        if (!IsWindow(target)) {
            windowGone = true;
            break;
        }
        if (Clock::now() < nextExposure)
            continue;
        nextExposure += cadence;

        // The exposure ends now: the star is as sharp as the focuser's present position makes it.
        bool moved = false;
        if (const auto state = ReadFocuserState(o.stateFile)) {
            const uint32_t now = GetTickCount();
            lastPosition = state->PositionAt(now);
            if (exposureStart) {
                moved = state->MovingAt(now) || exposureStart->MovingAt(exposureStartTick) ||
                        exposureStart->PositionAt(exposureStartTick) != *lastPosition;
            }
        } else if (!lastPosition) {
            stateLost = true;
            break;
        }
        ++exposures;
        if (moved)
            ++overlapped;
        if (o.flood > 0 && exposures == o.floodAt) {
            int failed = 0;
            for (int k = 0; k < o.flood; ++k) {
                if (!to.Post(host::kFocusValue, model.Measure(*lastPosition)))
                    ++failed;
            }
            Print("flood: sent=%d failed=%d position=%d", o.flood - failed, failed, *lastPosition);
            exposureStart = ReadFocuserState(o.stateFile);
            exposureStartTick = GetTickCount();
            continue;
        }
        int32_t value = model.Measure(*lastPosition);
        if (o.numberedValues)
            value = 1000 + exposures;
        if (o.zeroPosition && *o.zeroPosition == *lastPosition)
            value = 0;
        for (const auto& [position, chosen] : o.valueAt)
            if (position == *lastPosition) value = chosen;
        const double postedMs = sinceStart(Clock::now());
        if (!o.quiet)
            Print("exposure: n=%d position=%d value=%d moved=%d", exposures, *lastPosition, value, moved ? 1 : 0);
        if (!to.Deliver(o.sendValues, host::kFocusValue, value) && o.sendValues)
            Print("sendfail: n=%d", exposures);
        if (o.timing)
            Print("timing: exposure n=%d ms=%.3f", exposures, postedMs);
        // A sent value has been handled: the next exposure begins now.
        if (o.sendValues)
            nextExposure = Clock::now() + cadence;
        exposureStart = ReadFocuserState(o.stateFile);
        exposureStartTick = GetTickCount();
    }

    if (o.timing && host.FirstReportTime())
        Print("timing: report ms=%.3f", sinceStart(*host.FirstReportTime()));
    if (o.countReportsS > 0 && !windowGone && !stateLost) {
        host.PumpUntil(Clock::now() + Seconds(o.countReportsS), false);
    }
    if (IsWindow(target))
        PrintProgramView(target, trueFocus);
    PrintFinalPosition(o.stateFile, trueFocus);
    Print("reports: %d", host.Reports());
    Print("overlapped: %d", overlapped);

    if (stateLost) {
        Print("error: cannot read the focuser state \"%s\"", o.stateFile.c_str());
        return kExitNoState;
    }
    if (windowGone) {
        Print("error: the window went away");
        return kExitWindowGone;
    }
    if (expectNone)
        return host.Reports() == 0 ? kExitOk : kExitUnexpectedReport;
    if (host.Reports() == 0) {
        Print("error: no report within %g s", o.timeoutS);
        return kExitTimeout;
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    // Tests read the output through a pipe while the host runs: no buffering.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    Options options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const UsageError& e) {
        Print("error: %s", e.what());
        Print(
            "usage: SimHost.exe [--true-focus N] [--noise X] [--seeing X] [--seed N] [--cadence-ms N] "
            "[--timeout-s S] [--no-start] [--host-handle-zero] [--flood N] [--expect-no-report S] "
            "[--count-reports S] [--raw CODE VALUE]... [--send] (see the source for all options)");
        return kExitUsage;
    }
    return Run(options);
}
