// QmDriverCheck.exe: a console program that checks a focuser driver the way
// Quillomar uses it. COM is initialised as a single-threaded apartment, as in the
// program; the driver is created through the program's own automation layer and
// driven by the program's own controller (see check_run.h). The report goes to
// standard output, a line at a time, so that a driver that hangs still shows
// how far it got.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/late_bound_win.h"
#include "app/run_options.h"
#include "checker/check_run.h"
#include "checker/command_line.h"
#include "checker/options_report.h"
#include "checker/registry_probe_win.h"
#include "checker/report_text.h"
#include "checker/trace_writer.h"
#include "checker/verdict.h"
#include "common/raii_win.h"
#include "settings/settings_files_win.h"

namespace {

void PrintLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void PrintLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        PrintLine(line);
}

int64_t Microseconds() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<int64_t>(now.QuadPart / frequency * 1000000 + now.QuadPart % frequency * 1000000 / frequency);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qm::check;
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const CommandLine line = ParseCommandLine(args);
    if (!line.error.empty()) {
        std::fprintf(stderr, "QmDriverCheck: %s\n\n%s", line.error.c_str(), UsageText().c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }

    if (line.options) {
        qm::win::SettingsFilesWin files;
        const std::string path = files.ProgramDirectory() + qm::kRunOptionsFileName;
        PrintLines(OptionsReportLines(path, files.ReadAll(path)));
        return 0;
    }

    constexpr int kBits = sizeof(void*) == 8 ? 64 : 32;
    qm::win::ComApartment com;
    PrintLines(HeadingLines(line, kBits));

    TraceWriter writer(PrintLine, line.withTimes);
    CallTrace trace(Microseconds, [&writer](const CallRecord& record) { writer.Add(record); });
    qm::win::ComObjectFactory objects;
    CheckServices services{[](uint32_t ms) { ::Sleep(ms); }, [] { return static_cast<uint32_t>(GetTickCount()); },
                           Microseconds};
    CheckOutcome outcome = RunCheck(objects, CheckOptions{line.progId, line.moveSteps}, services, trace);
    writer.Flush();

    std::optional<Registration> registration;
    if (!outcome.driverProgId.empty()) {
        registration = win::ProbeRegistration(outcome.driverProgId);
        PrintLines(RegistrationLines(*registration));
    }
    const Verdict verdict = Judge(outcome, trace.records(), registration, kBits, line.moveSteps);
    PrintLines(VerdictLines(verdict));
    return verdict.exitCode;
}
