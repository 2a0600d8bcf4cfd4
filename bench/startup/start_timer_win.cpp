// StartTimer.exe: times how long Windows programs take to start, as a user sees it.
// For each start it creates the process, polls (every millisecond) until a visible
// top-level window of that process exists ("shown"), notes the process's memory at that
// moment (working set and PagefileUsage; under Wine these are the Linux process's VmRSS
// and RssAnon, its anonymous resident memory, while PrivateUsage reads 0), then posts WM_CLOSE to that window and waits
// for the process to end ("exit"). The programs are started in turn,
// round after round, so that both meet the same machine load; it prints every start
// and then the median and the ratio of each program's times to the first program's.
//
//   StartTimer.exe ROUNDS "commandline 1" "commandline 2" ...
//
// A program that closes its window at once may end before a poll sees the window: its
// start then counts for "exit" alone. Exit code 0 when every start ended, 1 otherwise.
// With three or more programs it also prints, for every later program against every
// earlier one, the median, least and greatest of the ratios taken round by round, so
// that each ratio compares starts made under the same load.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr DWORD kShowTimeoutMs = 60000;
constexpr DWORD kExitTimeoutMs = 30000;
constexpr DWORD kPollMs = 1;
// Starts of each program before the timed rounds: the first start of a program
// under a fresh Wine fills caches that later starts find full.
constexpr int kWarmUpRounds = 1;

double Milliseconds() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindShownWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of the process, or nullptr.
HWND ShownWindowOf(DWORD processId) {
    Search search{processId, nullptr};
    EnumWindows(FindShownWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

struct Timing {
    double shownMs = -1;
    double exitMs = -1;
    double workingSetKb = -1;
    double privateKb = -1;
};

// Working set and PagefileUsage of a process, in kilobytes.
void NoteMemory(HANDLE process, Timing& timing) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(process, &counters, sizeof counters)) {
        timing.workingSetKb = static_cast<double>(counters.WorkingSetSize) / 1024.0;
        timing.privateKb = static_cast<double>(counters.PagefileUsage) / 1024.0;
    }
}

Timing TimeOneStart(const std::string& commandLine) {
    Timing timing;
    std::string line = commandLine;  // CreateProcessA may write into it
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const double start = Milliseconds();
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::printf("error: cannot start %s (%lu)\n", commandLine.c_str(), GetLastError());
        return timing;
    }
    HWND shown = nullptr;
    while (Milliseconds() - start < kShowTimeoutMs) {
        shown = ShownWindowOf(process.dwProcessId);
        if (shown) {
            timing.shownMs = Milliseconds() - start;
            break;
        }
        if (WaitForSingleObject(process.hProcess, kPollMs) == WAIT_OBJECT_0)
            break;  // ended without showing a window
    }
    if (shown) {
        NoteMemory(process.hProcess, timing);
        PostMessageA(shown, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(process.hProcess, kExitTimeoutMs) == WAIT_OBJECT_0) {
        timing.exitMs = Milliseconds() - start;
    } else {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, kExitTimeoutMs);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return timing;
}

// The command line without the directory of the program.
std::string Label(const std::string& commandLine) {
    const size_t program = commandLine.find_last_of('\\', commandLine.find(".exe"));
    return program == std::string::npos ? commandLine : commandLine.substr(program + 1);
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 3) {
        std::printf("usage: StartTimer.exe ROUNDS \"commandline\" [\"commandline\" ...]\n");
        return 1;
    }
    const int rounds = std::max(1, std::atoi(argv[1]));
    const std::vector<std::string> programs(argv + 2, argv + argc);
    std::vector<std::vector<double>> shown(programs.size()), exited(programs.size());
    std::vector<std::vector<double>> workingSet(programs.size()), privateBytes(programs.size());
    // Per round, each program's times over the first program's in that round.
    std::vector<std::vector<double>> shownRatio(programs.size()), exitRatio(programs.size());
    std::vector<std::vector<Timing>> byRound(programs.size());  // every timed start, in order
    bool allWell = true;
    for (int round = -kWarmUpRounds; round < rounds; ++round) {
        std::vector<Timing> thisRound;
        for (size_t p = 0; p < programs.size(); ++p) {
            const Timing t = TimeOneStart(programs[p]);
            thisRound.push_back(t);
            if (t.exitMs < 0)
                allWell = false;
            if (round < 0)
                continue;
            byRound[p].push_back(t);
            std::printf("start %2d %-24s shown %8.1f ms  exit %8.1f ms\n", round + 1, Label(programs[p]).c_str(),
                        t.shownMs, t.exitMs);
            if (t.shownMs >= 0)
                shown[p].push_back(t.shownMs);
            if (t.exitMs >= 0)
                exited[p].push_back(t.exitMs);
            if (t.workingSetKb >= 0) {
                workingSet[p].push_back(t.workingSetKb);
                privateBytes[p].push_back(t.privateKb);
            }
            if (p > 0 && t.shownMs > 0 && thisRound[0].shownMs > 0)
                shownRatio[p].push_back(t.shownMs / thisRound[0].shownMs);
            if (p > 0 && t.exitMs > 0 && thisRound[0].exitMs > 0)
                exitRatio[p].push_back(t.exitMs / thisRound[0].exitMs);
        }
    }
    const double baseShown = Median(shown[0]);
    const double baseExit = Median(exited[0]);
    const double baseWorkingSet = Median(workingSet[0]);
    const double basePrivate = Median(privateBytes[0]);
    for (size_t p = 0; p < programs.size(); ++p) {
        const double s = Median(shown[p]);
        const double e = Median(exited[p]);
        std::printf("median %-24s shown %8.1f ms  exit %8.1f ms  ratio shown %5.2f  ratio exit %5.2f\n",
                    Label(programs[p]).c_str(), s, e, baseShown > 0 ? s / baseShown : 0,
                    baseExit > 0 ? e / baseExit : 0);
    }
    for (size_t p = 1; p < programs.size(); ++p) {
        auto spread = [](const std::vector<double>& r) {
            char text[64] = "none";
            if (!r.empty())
                std::snprintf(text, sizeof text, "%.2f-%.2f (median %.2f, %zu rounds)",
                              *std::min_element(r.begin(), r.end()), *std::max_element(r.begin(), r.end()), Median(r),
                              r.size());
            return std::string(text);
        };
        std::printf("rounds %-24s ratio shown %s; ratio exit %s\n", Label(programs[p]).c_str(),
                    spread(shownRatio[p]).c_str(), spread(exitRatio[p]).c_str());
    }
    for (size_t p = 0; p < programs.size(); ++p) {
        if (workingSet[p].empty())
            continue;
        const double w = Median(workingSet[p]);
        const double b = Median(privateBytes[p]);
        std::printf("memory %-24s working set %8.0f KB  pagefile usage %8.0f KB  ratio %5.2f / %5.2f\n",
                    Label(programs[p]).c_str(), w, b, baseWorkingSet > 0 ? w / baseWorkingSet : 0,
                    basePrivate > 0 ? b / basePrivate : 0);
    }
    for (size_t p = 1; p < programs.size(); ++p) {
        for (size_t q = 0; q < p; ++q) {
            std::vector<double> shownRatio, exitRatio;
            for (size_t r = 0; r < byRound[p].size(); ++r) {
                const Timing& a = byRound[p][r];
                const Timing& b = byRound[q][r];
                if (a.shownMs > 0 && b.shownMs > 0) shownRatio.push_back(a.shownMs / b.shownMs);
                if (a.exitMs > 0 && b.exitMs > 0) exitRatio.push_back(a.exitMs / b.exitMs);
            }
            if (shownRatio.empty() && exitRatio.empty())
                continue;
            const auto [shownLow, shownHigh] = shownRatio.empty() ? std::pair(0.0, 0.0)
                : std::pair(*std::min_element(shownRatio.begin(), shownRatio.end()),
                            *std::max_element(shownRatio.begin(), shownRatio.end()));
            std::printf("pair %-24s / %-24s shown %5.2f (%4.2f-%4.2f, %zu rounds)  exit %5.2f\n",
                        Label(programs[p]).c_str(), Label(programs[q]).c_str(), Median(shownRatio), shownLow,
                        shownHigh, shownRatio.size(), Median(exitRatio));
        }
    }
    return allWell ? 0 : 1;
}
