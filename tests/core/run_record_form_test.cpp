// The controller's side of the run record: what it collects during a run and when it
// hands the record over, for every way a run ends; and that without the option the
// run is exactly what it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "tests/core/form_fakes.h"

namespace qm::test {
namespace {

constexpr uintptr_t kHost = 0x4242;

class CollectingRecorder : public RunRecorder {
  public:
    std::vector<RunRecord> records;
    int timeReads = 0;
    std::string UtcTimeNow() override {
        ++timeReads;
        return "2026-12-08T10:00:00Z";
    }
    void RunEnded(RunRecord& record) override { records.push_back(record); }
};

// A recorder that runs out of memory with every record it is handed.
class ThrowingRecorder : public RunRecorder {
  public:
    std::string UtcTimeNow() override { return "2026-12-08T10:00:00Z"; }
    void RunEnded(RunRecord&) override { throw std::bad_alloc(); }
};

struct RecordFixture : FakeWindow {
    CollectingRecorder recorder;

    explicit RecordFixture(bool recordOn = true) {
        RunOptions options;
        options.runRecord = recordOn;
        form.SetRunOptions(options);
        form.SetRunRecorder(&recorder);
        save.TagString = "Sim.Focuser";
        driver.position = 1000;
        form.FormCreate();
        Connect();
        form.HandleFocuserMessage(3, static_cast<intptr_t>(kHost));
    }
    // Feeds each position two values: the given one and half of it.
    void FeedSweep(const std::vector<int32_t>& values) {
        for (int32_t v : values)
            SendValues({v, v / 2});
    }
};

TEST(RunRecordForm, CompletedRunIsRecordedWithItsValues) {
    struct Case {
        std::vector<int32_t> values;
        RunOutcome outcome;
        int32_t threePoint;
        int32_t movedTo;
    };
    const std::vector<Case> cases = {
        {{10, 20, 40, 50, 45, 30, 15}, RunOutcome::Focus, 1026, 1026},
        {{10, 20, 0, 50, 45, 30, 15}, RunOutcome::Error, 0, 700},  // back to where the run began
    };
    for (const Case& c : cases) {
        RecordFixture w;
        const uint32_t startTick = w.platform.now;
        w.form.ButStartClick();
        w.FeedSweep(c.values);
        ASSERT_EQ(w.recorder.records.size(), 1u);
        const RunRecord& r = w.recorder.records[0];
        EXPECT_EQ(r.timeUtc, "2026-12-08T10:00:00Z");
        EXPECT_EQ(r.driverId, "Sim.Focuser");
        EXPECT_EQ(r.steps, 7);
        EXPECT_EQ(r.increment, 100);
        EXPECT_EQ(r.exposuresPerStep, 2);
        ASSERT_EQ(r.points.size(), 7u);
        EXPECT_EQ(r.points[0], (RunStep{700, 10, {10, 5}}));
        EXPECT_EQ(r.points[6], (RunStep{1300, 15, {15, 7}}));
        ASSERT_TRUE(r.verdict.has_value());
        EXPECT_EQ(r.verdict->threePoint, c.threePoint);
        EXPECT_EQ(r.movedTo, c.movedTo);
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(r.durationMs, w.platform.now - startTick);
        EXPECT_TRUE(r.pendingValues.empty());
    }
}

TEST(RunRecordForm, EveryWayOfStoppingIsRecordedAsStopped) {
    struct Case {
        const char* name;
        std::function<void(RecordFixture&)> stop;
    };
    const std::vector<Case> cases = {
        {"Stop", [](RecordFixture& w) { w.form.ButStopClick(); }},
        {"page switch", [](RecordFixture& w) { w.form.PGMainChange(); }},
        {"disconnect", [](RecordFixture& w) { w.form.ButDisconnectClick(); }},
        {"close", [](RecordFixture& w) { w.form.FormClose(); }},
    };
    for (const Case& c : cases) {
        RecordFixture w;
        w.form.ButStartClick();
        w.FeedSweep({10, 20});
        w.SendValues({33});
        const size_t moves = w.driver.moves.size();
        c.stop(w);
        ASSERT_EQ(w.recorder.records.size(), 1u) << c.name;
        const RunRecord& r = w.recorder.records[0];
        EXPECT_EQ(r.outcome, RunOutcome::Stopped) << c.name;
        EXPECT_EQ(r.points.size(), 2u) << c.name;
        EXPECT_EQ(r.pendingValues, std::vector<int32_t>{33}) << c.name;
        EXPECT_FALSE(r.verdict.has_value()) << c.name;
        EXPECT_FALSE(r.movedTo.has_value()) << c.name;
        EXPECT_EQ(w.driver.moves.size(), moves) << c.name;
        // Once recorded, the run is not recorded again by a later way out.
        w.form.PGMainChange();
        w.form.FormDestroy();
        EXPECT_EQ(w.recorder.records.size(), 1u) << c.name;
    }
}

// Each record holds its own run alone, whatever the run before it left behind.
TEST(RunRecordForm, SecondRunKeepsNothingOfTheFirst) {
    RecordFixture w;
    w.form.ButStartClick();
    w.FeedSweep({10, 20});
    w.SendValues({33});
    w.form.ButStopClick();
    w.form.ButStartClick();
    w.FeedSweep({10, 20, 40, 50, 45, 30, 15});
    w.form.ButStartClick();
    w.FeedSweep({10});
    w.form.ButStopClick();
    ASSERT_EQ(w.recorder.records.size(), 3u);
    const RunRecord& completed = w.recorder.records[1];
    EXPECT_EQ(completed.points.size(), 7u);
    EXPECT_TRUE(completed.pendingValues.empty());
    EXPECT_EQ(completed.outcome, RunOutcome::Focus);
    const RunRecord& stopped = w.recorder.records[2];
    EXPECT_EQ(stopped.points.size(), 1u);
    EXPECT_TRUE(stopped.pendingValues.empty());
    EXPECT_FALSE(stopped.verdict.has_value());
    EXPECT_FALSE(stopped.movedTo.has_value());
    EXPECT_EQ(stopped.outcome, RunOutcome::Stopped);
}

TEST(RunRecordForm, RunLeftRunningByADriverErrorIsRecordedWhenItEnds) {
    RecordFixture w;
    w.form.ButStartClick();
    w.driver.failAt["Move"] = w.driver.callCount["Move"] + 1;
    EXPECT_THROW(w.SendValues({10, 10}), AutomationError);
    EXPECT_TRUE(w.form.IsRunning());
    EXPECT_TRUE(w.recorder.records.empty());
    w.form.ButStopClick();
    ASSERT_EQ(w.recorder.records.size(), 1u);
    EXPECT_EQ(w.recorder.records[0].outcome, RunOutcome::Stopped);
    EXPECT_EQ(w.recorder.records[0].points.size(), 1u);
}

TEST(RunRecordForm, FailedFinalMoveStillRecordsTheRun) {
    RecordFixture w;
    w.form.ButStartClick();
    w.FeedSweep({10, 20, 40, 50, 45, 30});
    w.driver.failAt["Move"] = w.driver.callCount["Move"] + 1;
    EXPECT_THROW(w.FeedSweep({15}), AutomationError);
    ASSERT_EQ(w.recorder.records.size(), 1u);
    EXPECT_EQ(w.recorder.records[0].outcome, RunOutcome::Focus);
    EXPECT_EQ(w.recorder.records[0].movedTo, 1026);
}

TEST(RunRecordForm, StartThatNeverSwitchesOnIsNoRun) {
    RecordFixture w;
    w.driver.failAt["Move"] = 1;
    EXPECT_THROW(w.form.ButStartClick(), AutomationError);
    w.form.PGMainChange();
    EXPECT_TRUE(w.recorder.records.empty());
}

// Everything the run does that the world can see: driver calls, pauses, posts, log, status.
struct Trace {
    std::vector<std::string> calls;
    std::vector<uint32_t> sleeps;
    size_t posts;
    std::vector<std::string> log;
    std::vector<std::string> painted;
    bool operator==(const Trace&) const = default;
};

enum class Recorder { None, Collecting, Throwing };

// The focuser's thermometer as a driver may have it.
enum class Thermometer { Reads, Unknown, Fails, NotANumber };

void FitThermometer(DriverScript& driver, Thermometer thermometer) {
    switch (thermometer) {
        case Thermometer::Reads:
            driver.temperature = 4.5;
            break;
        case Thermometer::Unknown:
            break;
        case Thermometer::Fails:
            driver.temperature = 4.5;
            driver.failAt["Temperature"] = 1;
            break;
        case Thermometer::NotANumber:
            driver.temperatureAnswer = AutoValue::Real(std::numeric_limits<double>::quiet_NaN());
            break;
    }
}

// The run's trace leaves the Temperature reads out; they are counted in `temperatureReads`.
Trace RunAndTrace(bool recordOn, Recorder recorder, const std::function<void(RecordFixture&)>& end,
                  Thermometer thermometer = Thermometer::Reads, int* temperatureReads = nullptr) {
    ThrowingRecorder throwing;
    RecordFixture w(recordOn);
    FitThermometer(w.driver, thermometer);
    if (recorder != Recorder::Collecting)
        w.form.SetRunRecorder(recorder == Recorder::Throwing ? &throwing : nullptr);
    w.form.ButStartClick();
    end(w);
    std::vector<std::string> calls;
    for (const std::string& call : w.driver.MembersCalled("driver"))
        if (call != "read Temperature") calls.push_back(call);
    if (temperatureReads) *temperatureReads = w.driver.callCount["Temperature"];
    EXPECT_TRUE(w.platform.errors.empty());
    EXPECT_TRUE(w.platform.reports.empty());
    return {calls, w.platform.sleeps, w.platform.posts.size(), w.Memo1.lines, w.LabStatus.painted};
}

TEST(RunRecordForm, RecordingChangesNothingTheRunDoes) {
    const std::vector<std::function<void(RecordFixture&)>> ends = {
        [](RecordFixture& w) {
            w.FeedSweep({10, 20, 40, 50, 45, 30, 15});
        },
        [](RecordFixture& w) {
            w.FeedSweep({10, 20, 0, 50, 45, 30, 15});
        },
        [](RecordFixture& w) {
            w.FeedSweep({10, 20});
            w.form.ButStopClick();
        },
    };
    for (const auto& end : ends) {
        int reads = -1;
        const Trace plain = RunAndTrace(false, Recorder::None, end, Thermometer::Reads, &reads);
        EXPECT_EQ(reads, 0);
        EXPECT_EQ(RunAndTrace(false, Recorder::Collecting, end, Thermometer::Reads, &reads), plain);
        EXPECT_EQ(reads, 0);
        // With the record on, the temperature is read at the start and at the end and
        // nothing else changes, whatever the thermometer answers.
        for (Thermometer thermometer :
             {Thermometer::Reads, Thermometer::Unknown, Thermometer::Fails, Thermometer::NotANumber}) {
            EXPECT_EQ(RunAndTrace(true, Recorder::Collecting, end, thermometer, &reads), plain);
            EXPECT_EQ(reads, 2);
        }
        // A record that cannot be kept for lack of memory is dropped; the run goes on.
        EXPECT_EQ(RunAndTrace(true, Recorder::Throwing, end), plain);
    }
}

// The temperature when the run starts (before its first move) and when it ends (after
// the final move, or when it is stopped), for every way a run ends.
TEST(RunRecordForm, TemperatureAtStartAndEnd) {
    struct Case {
        const char* name;
        std::function<void(RecordFixture&)> end;
        RunOutcome outcome;
    };
    const std::vector<Case> cases = {
        {"completed", [](RecordFixture& w) { w.FeedSweep({10, 20, 40, 50, 45, 30, 15}); }, RunOutcome::Focus},
        {"no focus", [](RecordFixture& w) { w.FeedSweep({10, 20, 0, 50, 45, 30, 15}); }, RunOutcome::Error},
        {"Stop",
         [](RecordFixture& w) {
             w.FeedSweep({10, 20});
             w.form.ButStopClick();
         },
         RunOutcome::Stopped},
        {"page switch",
         [](RecordFixture& w) {
             w.FeedSweep({10});
             w.form.PGMainChange();
         },
         RunOutcome::Stopped},
        {"disconnect", [](RecordFixture& w) { w.form.ButDisconnectClick(); }, RunOutcome::Stopped},
        {"failed final move",
         [](RecordFixture& w) {
             w.FeedSweep({10, 20, 40, 50, 45, 30});
             w.driver.failAt["Move"] = w.driver.callCount["Move"] + 1;
             EXPECT_THROW(w.FeedSweep({15}), AutomationError);
         },
         RunOutcome::Focus},
    };
    for (const Case& c : cases) {
        RecordFixture w;
        w.driver.temperature = -2.5;
        w.driver.temperatureStep = 0.75;
        w.form.ButStartClick();
        // The first read comes before the run's first move.
        const std::vector<std::string> calls = w.driver.MembersCalled("driver");
        ASSERT_FALSE(calls.empty()) << c.name;
        EXPECT_EQ(calls.front(), "read Temperature") << c.name;
        c.end(w);
        ASSERT_EQ(w.recorder.records.size(), 1u) << c.name;
        const RunRecord& r = w.recorder.records[0];
        EXPECT_EQ(r.outcome, c.outcome) << c.name;
        EXPECT_EQ(r.temperatureAtStart, -2.5) << c.name;
        EXPECT_EQ(r.temperatureAtEnd, -1.75) << c.name;
        EXPECT_EQ(w.driver.callCount["Temperature"], 2) << c.name;
        // The end's read follows every move and comes before the driver is unlinked.
        const std::vector<std::string> after = w.driver.MembersCalled("driver");
        const auto lastRead = std::find(after.rbegin(), after.rend(), "read Temperature");
        EXPECT_EQ(std::find_if(after.rbegin(), lastRead,
                               [](const std::string& call) { return call.rfind("call Move", 0) == 0; }),
                  lastRead)
            << c.name;
        EXPECT_EQ(std::find(lastRead, after.rend(), "put Link(false)"), after.rend()) << c.name;
    }
}

// A thermometer that is missing, fails or answers something that is not a finite number
// leaves the record without a temperature, and shows nothing.
TEST(RunRecordForm, NoTemperatureWithoutAReading) {
    struct Case {
        const char* name;
        std::function<void(DriverScript&)> fit;
    };
    const std::vector<Case> cases = {
        {"unknown member", [](DriverScript&) {}},
        {"read fails", [](DriverScript& d) { FitThermometer(d, Thermometer::Fails); }},
        {"not a number", [](DriverScript& d) { FitThermometer(d, Thermometer::NotANumber); }},
        {"infinite",
         [](DriverScript& d) { d.temperatureAnswer = AutoValue::Real(-std::numeric_limits<double>::infinity()); }},
        {"text", [](DriverScript& d) { d.temperatureAnswer = AutoValue::Text("12.5"); }},
        {"empty", [](DriverScript& d) { d.temperatureAnswer = AutoValue::Empty(); }},
    };
    for (const Case& c : cases) {
        RecordFixture w;
        c.fit(w.driver);
        w.form.ButStartClick();
        w.FeedSweep({10, 20, 40, 50, 45, 30, 15});
        ASSERT_EQ(w.recorder.records.size(), 1u) << c.name;
        EXPECT_EQ(w.recorder.records[0].outcome, RunOutcome::Focus) << c.name;
        EXPECT_FALSE(w.recorder.records[0].temperatureAtStart.has_value()) << c.name;
        EXPECT_FALSE(w.recorder.records[0].temperatureAtEnd.has_value()) << c.name;
        EXPECT_EQ(w.LabStatus.Text(), "OK") << c.name;
        EXPECT_TRUE(w.platform.errors.empty()) << c.name;
        EXPECT_TRUE(w.platform.reports.empty()) << c.name;
    }
    // A whole-number answer is a temperature too.
    RecordFixture w;
    w.driver.temperatureAnswer = AutoValue::Int(-7);
    w.form.ButStartClick();
    w.form.ButStopClick();
    ASSERT_EQ(w.recorder.records.size(), 1u);
    EXPECT_EQ(w.recorder.records[0].temperatureAtStart, -7.0);
    EXPECT_EQ(w.recorder.records[0].temperatureAtEnd, -7.0);
}

// A host's start handled while the end's temperature is read begins a run of its own;
// the run that ended keeps its record, and the new one gets its own.
TEST(RunRecordForm, HostStartDuringTheEndsTemperatureRead) {
    RecordFixture w;
    w.driver.temperature = 10;
    w.driver.temperatureStep = 1;
    w.form.ButStartClick();
    w.FeedSweep({10, 20});
    bool started = false;
    w.driver.onTemperature = [&] {
        if (!std::exchange(started, true)) w.form.HandleFocuserMessage(2, 22);
    };
    w.form.ButStopClick();
    EXPECT_TRUE(w.form.IsRunning());
    ASSERT_EQ(w.recorder.records.size(), 1u);
    const RunRecord stopped = w.recorder.records[0];
    EXPECT_EQ(stopped.outcome, RunOutcome::Stopped);
    EXPECT_EQ(stopped.points.size(), 2u);
    EXPECT_EQ(stopped.temperatureAtStart, 10.0);
    EXPECT_EQ(stopped.temperatureAtEnd, 12.0);  // its read answers after the new run's start read
    w.FeedSweep({10, 20, 40, 50, 45, 30, 15});
    ASSERT_EQ(w.recorder.records.size(), 2u);
    EXPECT_EQ(w.recorder.records[1].outcome, RunOutcome::Focus);
    EXPECT_EQ(w.recorder.records[1].points.size(), 7u);
    EXPECT_EQ(w.recorder.records[1].temperatureAtStart, 11.0);
    EXPECT_EQ(w.recorder.records[1].temperatureAtEnd, 13.0);
}

// A host's start handled while the start's temperature is read finds the run starting.
TEST(RunRecordForm, HostStartDuringTheStartsTemperatureRead) {
    RecordFixture w;
    w.driver.temperature = 10;
    int starts = 0;
    w.driver.onTemperature = [&] {
        if (starts++ == 0) w.form.HandleFocuserMessage(2, 22);
    };
    w.form.ButStartClick();
    EXPECT_TRUE(w.form.IsRunning());
    EXPECT_EQ(w.driver.moves, std::vector<int32_t>{700});
    EXPECT_EQ(w.driver.callCount["Temperature"], 1);
}

TEST(RunRecordForm, OptionOffHandsNothingOver) {
    RecordFixture w(false);
    w.form.ButStartClick();
    w.FeedSweep({10, 20, 40, 50, 45, 30, 15});
    w.form.ButStartClick();
    w.form.ButStopClick();
    EXPECT_TRUE(w.recorder.records.empty());
    EXPECT_EQ(w.recorder.timeReads, 0);
    EXPECT_EQ(w.driver.callCount["Temperature"], 0);
}

// A row that goes on past its end ("sweep = extend") records the added positions as steps.
TEST(RunRecordForm, ExtendedRowRecordsTheAddedPositions) {
    RecordFixture w;
    RunOptions options = w.form.Options();
    options.sweep = SweepMode::Extend;
    w.form.SetRunOptions(options);
    w.form.ButStartClick();
    w.FeedSweep({10, 20, 30, 40, 50, 60, 70, 80, 50, 40});
    ASSERT_EQ(w.recorder.records.size(), 1u);
    const RunRecord& r = w.recorder.records[0];
    std::vector<int32_t> positions;
    for (const RunStep& p : r.points) positions.push_back(p.position);
    EXPECT_EQ(positions, (std::vector<int32_t>{700, 800, 900, 1000, 1100, 1200, 1300, 1400, 1500, 1600}));
    EXPECT_EQ(r.points.back().values, (std::vector<int32_t>{40, 20}));
    EXPECT_EQ(r.steps, 7);
    EXPECT_EQ(r.outcome, RunOutcome::Focus);
    EXPECT_EQ(r.movedTo, w.driver.moves.back());
    EXPECT_GT(*r.movedTo, 1300);
}

}  // namespace
}  // namespace qm::test
