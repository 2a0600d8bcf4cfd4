// Writes a sample run page to the file named on the command line: the page the program
// writes for thirty made-up runs (three nights, a falling temperature, a few runs stopped
// without a focus), with their history above them. For looking at the plots in a browser:
//   build/native/tools/history_sample/history_sample /tmp/history.htm
//   chromium --headless --no-sandbox --screenshot=/tmp/history.png file:///tmp/history.htm
#include <cstdio>
#include <string>
#include <vector>

#include "record/recorded_run.h"
#include "record/run_page.h"

namespace {

qm::RunRecord SampleRecord() {
    qm::RunRecord r;
    r.timeUtc = "2026-12-09T05:45:00Z";
    r.driverId = "QmSim.Focuser";
    r.steps = 7;
    r.increment = 100;
    r.exposuresPerStep = 2;
    const int values[] = {12, 25, 41, 52, 44, 27, 13};
    for (int i = 0; i < 7; ++i)
        r.points.push_back({9700 + 100 * i, values[i], {values[i], values[i] - 3}});
    qm::RunVerdict v;
    v.threePoint = 9994;
    r.verdict = v;
    r.movedTo = 9994;
    r.outcome = qm::RunOutcome::Focus;
    r.durationMs = 48000;
    return r;
}

// Thirty runs, newest first: focus moves -8.5 steps per °C, with a few steps of scatter.
std::vector<qm::RecordedRun> SampleRuns() {
    std::vector<qm::RecordedRun> runs;
    uint32_t seed = 12345;
    auto scatter = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % 25) - 12;
    };
    for (int night = 0; night < 3; ++night) {
        for (int hour = 0; hour < 10; ++hour) {
            qm::RunRecord run = SampleRecord();
            char time[32];
            std::snprintf(time, sizeof time, "2026-12-%02dT%02d:%02d:00Z", 6 + night + (hour >= 4 ? 1 : 0),
                          (20 + hour) % 24, 5 * hour % 60);
            run.timeUtc = time;
            const double temperature = 13.0 - hour * 1.1 + night * 1.5;
            run.temperatureAtStart = temperature + 0.2;
            run.temperatureAtEnd = temperature - 0.2;
            run.movedTo = static_cast<int32_t>(10000 - 8.5 * (temperature - 10) + scatter());
            if ((night * 10 + hour) % 9 == 4) {
                run.outcome = qm::RunOutcome::Stopped;
                run.verdict.reset();
                run.movedTo.reset();
            }
            runs.insert(runs.begin(), qm::RecordedRunOf(run));
        }
    }
    return runs;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: history_sample OUTPUT.htm\n");
        return 2;
    }
    const std::string page = qm::ComposeRunPage(SampleRuns());
    std::FILE* file = std::fopen(argv[1], "wb");
    if (!file || std::fwrite(page.data(), 1, page.size(), file) != page.size() || std::fclose(file) != 0) {
        std::fprintf(stderr, "history_sample: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
