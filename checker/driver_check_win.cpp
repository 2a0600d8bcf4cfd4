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

#include "com/late_bound_win.h"
#include "record/run_options.h"
#include "checker/check_run.h"
#include "checker/command_line.h"
#include "checker/conform_report.h"
#include "checker/conform_run.h"
#include "checker/options_report.h"
#include "checker/registry_probe_win.h"
#include "checker/report_text.h"
#include "checker/trace_writer.h"
#include "checker/verdict.h"
#include "common/raii_win.h"
#include "settings/settings_reader_win.h"

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

// The conformance check: the run settings of autofocus.ini beside this program (or
// the command line's), the program's moves measured, the findings, the verdict as
// without it, the time a run's moves and waits take, and where the focuser is.
int Conform(const qm::check::CommandLine& line, int bits) {
    using namespace qm::check;
    qm::win::SettingsReaderWin files;
    RunSettings run = ReadRunSettings(files);
    if (line.steps && line.increment && line.exposures)
        run.source = "the command line";
    else if (line.steps || line.increment || line.exposures)
        run.source += " and the command line";
    run.steps = line.steps.value_or(run.steps);
    run.increment = line.increment.value_or(run.increment);
    run.exposures = line.exposures.value_or(run.exposures);

    std::vector<std::string> heading = HeadingLines(line, bits);
    for (std::string& text : heading) {
        if (text.rfind("Moves:", 0) == 0)
            text = ConformMovesLine(run);
    }
    for (const std::string& text : heading) {
        for (const std::string& wrapped : WrapWords(text, kReportWidth, "", "  "))
            PrintLine(wrapped);
    }

    TraceWriter writer(PrintLine, line.withTimes);
    CallTrace trace(Microseconds, [&writer](const CallRecord& record) { writer.Add(record); });
    qm::win::ComObjectFactory objects;
    CheckServices services{[](uint32_t ms) { ::Sleep(ms); }, [] { return static_cast<uint32_t>(GetTickCount()); },
                           Microseconds};
    const ConformOutcome outcome = RunConform(objects, line.progId, run, services, trace);
    writer.Flush();

    std::optional<Registration> registration;
    if (!outcome.check.driverProgId.empty()) {
        registration = win::ProbeRegistration(outcome.check.driverProgId);
        PrintLines(RegistrationLines(*registration));
    }
    const std::vector<Finding> findings = JudgeConformance(outcome, run);
    const Verdict verdict = ConformVerdict(Judge(outcome.check, trace.records(), registration, bits, std::nullopt));
    PrintLines(ConformLines(findings, run));
    PrintLines(VerdictLines(verdict));
    PrintLines(RunTimeLines(outcome, run));
    PrintLines(FocuserPlaceLines(outcome));
    return verdict.exitCode != 0 || HasFault(findings) ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qm::check;
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const CommandLine line = ParseCommandLine(args);
    if (!line.error.empty()) {
        std::fputs(("QmDriverCheck: " + line.error + "\n\n" + UsageText()).c_str(), stderr);
        return 2;
    }
    if (line.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }

    if (line.options) {
        qm::win::SettingsReaderWin files;
        const std::string path = files.ProgramDirectory() + qm::kRunOptionsFileName;
        PrintLines(OptionsReportLines(path, files.ReadAll(path)));
        return 0;
    }

    constexpr int kBits = sizeof(void*) == 8 ? 64 : 32;
    qm::win::ComApartment com;
    if (line.conform)
        return Conform(line, kBits);
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
