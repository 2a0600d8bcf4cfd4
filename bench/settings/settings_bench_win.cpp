// Times loading settings files far larger than any the program writes, next to
// reading the same file alone, to show that loading costs about one pass over the
// bytes whatever their shape. Reading and loading are timed in turn, round after
// round (the order swapped every round), so both meet the same moments of a busy
// machine; the medians and the spread of the rounds' ratios are printed. Exits 1 with
// an "error:" line when a file cannot be written or read back.
//   settings_bench.exe [megabytes [rounds]]   (default 50 MB, 5 rounds)
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "settings/auto_save.h"
#include "settings/memory_component.h"
#include "settings/settings_files_win.h"

namespace {

constexpr size_t kLongLine = 100000;

using qm::MemoryComponent;

// The program's directory moved to a scratch directory.
class ScratchFiles : public qm::win::SettingsFilesWin {
  public:
    explicit ScratchFiles(std::string directory) : directory_(std::move(directory)) {}
    std::string ProgramDirectory() override { return directory_; }

  private:
    std::string directory_;
};

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Processor time of this thread so far, in milliseconds: on a shared machine it says
// more than the wall clock.
double ThreadMilliseconds() {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto value = [](FILETIME t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(value(kernel) + value(user)) / 10000.0;
}

struct Timing {
    double wall = 0;
    double cpu = 0;
};

// One run of work, wall clock and processor time.
template <typename Work>
Timing TimeOnce(Work&& work) {
    LARGE_INTEGER start, end;
    const double cpuStart = ThreadMilliseconds();
    QueryPerformanceCounter(&start);
    work();
    QueryPerformanceCounter(&end);
    return {Milliseconds(start, end), ThreadMilliseconds() - cpuStart};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Runs a and b in turn for the given rounds, a first in even rounds; medians of each
// (wall and processor time) and the rounds' wall-clock ratios b / a.
struct Paired {
    Timing a, b;
    std::vector<double> ratios;
};
template <typename A, typename B>
Paired InTurn(int rounds, A&& a, B&& b) {
    std::vector<double> aWall, aCpu, bWall, bCpu;
    Paired result;
    for (int round = 0; round < rounds; ++round) {
        Timing ta, tb;
        if (round % 2 == 0) {
            ta = TimeOnce(a);
            tb = TimeOnce(b);
        } else {
            tb = TimeOnce(b);
            ta = TimeOnce(a);
        }
        aWall.push_back(ta.wall), aCpu.push_back(ta.cpu), bWall.push_back(tb.wall), bCpu.push_back(tb.cpu);
        result.ratios.push_back(tb.wall / ta.wall);
    }
    result.a = {Median(aWall), Median(aCpu)};
    result.b = {Median(bWall), Median(bCpu)};
    std::sort(result.ratios.begin(), result.ratios.end());
    return result;
}

std::string Repeat(const std::string& unit, size_t bytes) {
    std::string s;
    s.reserve(bytes + unit.size());
    while (s.size() < bytes)
        s += unit;
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    size_t megabytes = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 50;
    size_t bytes = megabytes * 1024 * 1024;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    bool sound = true;

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string directory = std::string(temp) + "qm_settings_bench_" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(directory.c_str(), nullptr);
    ScratchFiles files(directory);
    const std::string path = directory + "autofocus.ini";

    MemoryComponent steps(1003, qm::ComponentKind::Edit), inc(1004, qm::ComponentKind::Edit),
        expo(1005, qm::ComponentKind::Edit), autoConn(1001, qm::ComponentKind::CheckBox),
        backlash(1002, qm::ComponentKind::CheckBox), log(0, qm::ComponentKind::Edit);
    std::vector<qm::SettingsComponent*> window = {&steps, &inc, &expo, &autoConn, &backlash, &log};

    struct Shape {
        const char* name;
        std::string content;
    };
    const Shape shapes[] = {
        {"settings lines",
         Repeat("1003->7\r\n1004->100\r\n1005->2\r\n1001->1\r\n1002->0\r\n9990->0\r\n9991->x\r\n", bytes)},
        {"one line, no end", std::string(bytes, 'x')},
        {"one value line", "9991->" + std::string(bytes, 'v')},
        {"100,000-char lines", Repeat(std::string(kLongLine, '>') + "\r\n", bytes)},
        {"CR only", std::string(bytes, '\r')},
        {"binary",
         [&] {
             std::string s(bytes, '\0');
             unsigned x = 12345;
             for (char& c : s) {
                 x = x * 1103515245u + 12345u;
                 c = static_cast<char>((x >> 16) % 255 + 1);  // no NUL, so all of it is read
             }
             return s;
         }()},
    };

    std::printf("%d rounds, reading and loading in turn; medians (wall clock, and this thread's processor time)\n",
                rounds);
    std::printf("%-20s %6s %9s %9s %9s %9s %7s %s\n", "file shape", "MB", "read ms", "(cpu)", "load ms", "(cpu)",
                "ratio", "rounds");
    for (const Shape& shape : shapes) {
        if (!files.ReplaceAll(path, shape.content)) {
            std::printf("error: %s: the file could not be written\n", shape.name);
            sound = false;
            continue;
        }
        qm::TAutoSave save(files);
        save.Tag = 1000;
        bool readBack = true;
        const Paired t = InTurn(
            rounds,
            [&] {
                const auto text = files.ReadAll(path);
                readBack = readBack && text && text->size() == shape.content.size();
            },
            [&] { save.LoadSettings("autofocus.ini", window); });
        if (!readBack) {
            std::printf("error: %s: the file did not read back whole\n", shape.name);
            sound = false;
            continue;
        }
        const double ratio = t.b.wall / t.a.wall;
        std::printf("%-20s %6.1f %9.1f %9.1f %9.1f %9.1f %7.2f %.2f-%.2f\n", shape.name,
                    shape.content.size() / 1048576.0, t.a.wall, t.a.cpu, t.b.wall, t.b.cpu, ratio, t.ratios.front(),
                    t.ratios.back());
        if (&shape == &shapes[0])
            std::printf("summary:\tloading a %.0f MB settings file\t%.0f ms\treading the file alone, %.0f ms\t%.2f"
                        "\trounds %.2f-%.2f\n",
                        shape.content.size() / 1048576.0, t.b.wall, t.a.wall, ratio, t.ratios.front(),
                        t.ratios.back());
    }

    // Saving the small file the program really writes: unchanged (read and compare
    // only) and changed (temporary file, flush, rename; leftovers removed), in turn.
    qm::TAutoSave save(files);
    save.Tag = 1000;
    DeleteFileA(path.c_str());
    save.SaveSettings("autofocus.ini", window);
    int flip = 0;
    const Paired saves = InTurn(
        rounds * 4, [&] { save.SaveSettings("autofocus.ini", window); },
        [&] {
            save.TagInteger = ++flip;
            save.SaveSettings("autofocus.ini", window);
        });
    std::printf("save, unchanged: %.3f ms; save, changed: %.3f ms (wall clock, medians of %d in turn)\n", saves.a.wall,
                saves.b.wall, rounds * 4);

    DeleteFileA(path.c_str());
    RemoveDirectoryA(directory.c_str());
    return sound ? 0 : 1;
}
