// Times loading settings files far larger than any the program writes, next to
// reading the same file alone, to show that loading costs about one pass over the
// bytes whatever their shape. Prints a table; run it under Wine or on Windows:
//   settings_bench.exe [megabytes]
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

constexpr int kRepeats = 3;  // the best of these is reported
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
    double wall = 1e300;
    double cpu = 1e300;
};

// The best of kRepeats runs, wall clock and processor time each.
template <typename Work>
Timing BestOf(Work&& work) {
    Timing best;
    for (int i = 0; i < kRepeats; ++i) {
        LARGE_INTEGER start, end;
        double cpuStart = ThreadMilliseconds();
        QueryPerformanceCounter(&start);
        work();
        QueryPerformanceCounter(&end);
        best.wall = std::min(best.wall, Milliseconds(start, end));
        best.cpu = std::min(best.cpu, ThreadMilliseconds() - cpuStart);
    }
    return best;
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

    std::printf("%-20s %6s %9s %9s %9s %9s\n", "file shape", "MB", "read ms", "(cpu)", "load ms", "(cpu)");
    for (const Shape& shape : shapes) {
        if (!files.ReplaceAll(path, shape.content)) {
            std::printf("%-22s could not be written\n", shape.name);
            continue;
        }
        Timing read = BestOf([&] { files.ReadAll(path); });
        qm::TAutoSave save(files);
        save.Tag = 1000;
        Timing load = BestOf([&] { save.LoadSettings("autofocus.ini", window); });
        std::printf("%-20s %6.1f %9.1f %9.1f %9.1f %9.1f\n", shape.name, shape.content.size() / 1048576.0, read.wall,
                    read.cpu, load.wall, load.cpu);
    }

    // Saving the small file the program really writes: unchanged (read and compare
    // only) and changed (write, flush and rename).
    qm::TAutoSave save(files);
    save.Tag = 1000;
    DeleteFileA(path.c_str());
    save.SaveSettings("autofocus.ini", window);
    Timing unchanged = BestOf([&] { save.SaveSettings("autofocus.ini", window); });
    int flip = 0;
    Timing changed = BestOf([&] {
        save.TagInteger = ++flip;
        save.SaveSettings("autofocus.ini", window);
    });
    std::printf("save, unchanged: %.3f ms; save, changed: %.3f ms (wall clock)\n", unchanged.wall, changed.wall);

    DeleteFileA(path.c_str());
    RemoveDirectoryA(directory.c_str());
    return 0;
}
