// RecordStress.exe: keeps runs in "autofocus-runs.jsonl" and "autofocus-runs.htm" in the
// directory of this executable, as the program does when a run ends (KeepRunRecord over
// the Win32 files and the folder's lock), so that a test can run several of them beside
// one record, and kill one at any step.
//
//   RecordStress.exe loop NAME [N [MS]]   keeps runs whose driver is "NAME-1", "NAME-2", ...
//                                         N of them (default: until killed), waiting MS
//                                         milliseconds for the folder's lock (default: as
//                                         the program does); prints "ready" before the
//                                         first and "kept K" after each, followed by
//                                         "pending" or "page only" when the run did not
//                                         go into the record file
//   RecordStress.exe stall NAME GO        keeps the run "NAME-1", stalling with the lock held
//                                         between its reading of the record file and its
//                                         writing until the file GO exists (a minute at
//                                         most); prints "stalling" as it stalls
//   RecordStress.exe hold FILE GO         holds FILE open sharing reading only, as a viewer
//                                         that locks what it shows, until the file GO exists
//                                         (a minute at most); prints "held" once it has it
//   RecordStress.exe lock-name            prints the name of the lock of its folder
//   RecordStress.exe die NAME STEP TORN   keeps the run "NAME-1" and ends itself at once at
//                                         its STEP-th write (1: the append; then the trim's
//                                         replace, when there is one; then the page), after
//                                         TORN bytes of an append or an in-place write, or
//                                         just before a replace with TORN 0 and just after it
//                                         with TORN -1 (-1 everywhere: after the whole write)
//
// Exit codes: 0 done, 1 bad command line, 2 the file to hold could not be opened, 9 ended
// itself at the chosen step.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "common/raii_win.h"
#include "record/run_record.h"
#include "record/run_recorder.h"
#include "record/run_recorder_win.h"
#include "settings/settings_files_win.h"

namespace {

constexpr UINT kExitDied = 9;
// How long "stall" and "hold" wait for their file at most, so that a test that fails
// before making it does not leave them running.
constexpr DWORD kLongestWaitMs = 60000;

// Waits until the file `path` exists, or kLongestWaitMs.
void WaitForFile(const std::string& path) {
    constexpr DWORD kPollMs = 50;
    for (DWORD waited = 0; waited < kLongestWaitMs && GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += kPollMs)
        Sleep(kPollMs);
}

// A run like a real one: seven steps with their values, a fit and its curve.
qm::RunRecord Record(const std::string& driver, uint32_t number) {
    qm::RunRecord r;
    r.timeUtc = "2026-12-09T18:00:00Z";
    r.driverId = driver;
    r.steps = 7;
    r.increment = 100;
    r.exposuresPerStep = 2;
    for (int i = 0; i < 7; ++i) {
        const int32_t value = 1000 - (i - 3) * (i - 3) * 100 + static_cast<int32_t>(number % 7);
        r.points.push_back({10000 + i * 100, value, {value, value - 5}});
    }
    qm::RunVerdict v;
    v.threePoint = 10300;
    v.fitConverged = true;
    v.fitPeak = 10301.5;
    v.fitQuality = 0.9876;
    r.verdict = v;
    r.movedTo = 10300;
    r.outcome = qm::RunOutcome::Focus;
    r.durationMs = number;
    r.temperatureAtStart = 4.5;
    return r;
}

// The Win32 store that ends the process at its `dieAt`-th write.
class DyingStore : public qm::win::RunRecordStoreWin {
  public:
    DyingStore(qm::win::SettingsFilesWin& files, int dieAt, long torn)
        : RunRecordStoreWin(files), dieAt_(dieAt), torn_(torn) {}

    bool Append(const std::string& path, std::string_view bytes) override {
        if (++writes_ == dieAt_)
            Die([&] { RunRecordStoreWin::Append(path, Part(bytes)); });
        return RunRecordStoreWin::Append(path, bytes);
    }
    Replaced Replace(const std::string& path, std::string_view content) override {
        if (++writes_ == dieAt_)
            Die([&] {
                if (torn_ != 0)
                    RunRecordStoreWin::Replace(path, content);
            });
        return RunRecordStoreWin::Replace(path, content);
    }
    bool Overwrite(const std::string& path, std::string_view content) override {
        if (++writes_ == dieAt_)
            Die([&] { RunRecordStoreWin::Overwrite(path, Part(content)); });
        return RunRecordStoreWin::Overwrite(path, content);
    }

  private:
    std::string_view Part(std::string_view bytes) const {
        return torn_ < 0 ? bytes : bytes.substr(0, static_cast<size_t>(torn_));
    }
    template <typename Write>
    [[noreturn]] void Die(Write write) {
        write();
        // No unwinding, no lock released: as a kill leaves it.
        TerminateProcess(GetCurrentProcess(), kExitDied);
        ExitProcess(kExitDied);
    }

    int dieAt_;
    long torn_;
    int writes_ = 0;
};

// The Win32 store that stalls with the lock held once it has read the record file.
class StallingStore : public qm::win::RunRecordStoreWin {
  public:
    StallingStore(qm::win::SettingsFilesWin& files, std::string go) : RunRecordStoreWin(files), go_(std::move(go)) {}

    std::optional<std::string> Read(const std::string& path) override {
        std::optional<std::string> text = RunRecordStoreWin::Read(path);
        if (!stalled_ && path.ends_with(qm::kRunRecordFileName)) {
            stalled_ = true;
            std::puts("stalling");
            std::fflush(stdout);
            WaitForFile(go_);
        }
        return text;
    }

  private:
    std::string go_;
    bool stalled_ = false;
};

const char* WhereKept(qm::KeptRun kept) {
    switch (kept) {
        case qm::KeptRun::Recorded:
            return "";
        case qm::KeptRun::Pending:
            return " pending";
        case qm::KeptRun::PageOnly:
            return " page only";
        case qm::KeptRun::NotKept:
            break;
    }
    return " not kept";
}

int Usage() {
    std::fputs(
        "usage: RecordStress.exe loop NAME [N [MS]] | die NAME STEP TORN | stall NAME GO | hold FILE GO | lock-name\n",
        stderr);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "lock-name") {
        qm::win::SettingsFilesWin files;
        std::puts(qm::win::RunRecordLockName(files.ProgramDirectory()).c_str());
        return 0;
    }
    if (argc < 3)
        return Usage();
    const std::string mode = argv[1], name = argv[2];
    qm::win::SettingsFilesWin files;
    if (mode == "loop") {
        const long count = argc > 3 ? std::atol(argv[3]) : 0;
        const DWORD lockWaitMs = argc > 4 ? static_cast<DWORD>(std::atol(argv[4])) : qm::win::kRunRecordLockWaitMs;
        qm::win::RunRecordStoreWin store(files, lockWaitMs);
        std::puts("ready");
        std::fflush(stdout);
        for (long k = 1; count == 0 || k <= count; ++k) {
            const qm::KeptRun kept =
                qm::KeepRunRecord(store, Record(name + "-" + std::to_string(k), static_cast<uint32_t>(k)));
            std::printf("kept %ld%s\n", k, WhereKept(kept));
            std::fflush(stdout);
        }
        return 0;
    }
    if (mode == "stall" && argc == 4) {
        StallingStore store(files, argv[3]);
        const qm::KeptRun kept = qm::KeepRunRecord(store, Record(name + "-1", 1));
        std::printf("kept 1%s\n", WhereKept(kept));
        return 0;
    }
    if (mode == "hold" && argc == 4) {
        qm::win::KernelHandle file(CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return 2;
        std::puts("held");
        std::fflush(stdout);
        WaitForFile(argv[3]);
        return 0;
    }
    if (mode == "die" && argc == 5) {
        DyingStore store(files, std::atoi(argv[3]), std::atol(argv[4]));
        qm::KeepRunRecord(store, Record(name + "-1", 1));
        return 0;
    }
    return Usage();
}
