// The autofocus run on a simulated clock: the sweep, the counting of focus values,
// the log, the result, the final move with and without backlash, and the report.
#include <gtest/gtest.h>

#include <limits>

#include "tests/core/form_fakes.h"

namespace qm::test {
namespace {

constexpr uintptr_t kHost = 0x4242;

// A connected window whose host has sent its handle, at the given start position.
struct RunFixture : FakeWindow {
    explicit RunFixture(int32_t start = 1000) {
        driver.position = start;
        form.FormCreate();
        Connect();
        form.HandleFocuserMessage(3, static_cast<intptr_t>(kHost));
    }
    // Feeds each position `expo` values: the given one and a smaller one.
    void FeedSweep(const std::vector<int32_t>& values, int expo = 2) {
        for (int32_t v : values)
            for (int i = 0; i < expo; ++i) SendValues({i == 0 ? v : v / 2});
    }
    std::vector<int32_t> Positions() const {
        std::vector<int32_t> out;
        for (const auto& l : Memo1.lines)
            if (l.find(" = ") != std::string::npos) out.push_back(std::stoi(l));
        return out;
    }
};

TEST(AutofocusRun, SevenStepsAroundTheStartPosition) {
    RunFixture w(1000);
    w.form.ButStartClick();
    EXPECT_EQ(w.form.SweepFirstPosition(), 700);
    EXPECT_EQ(w.form.RunStartPosition(), 700);
    EXPECT_TRUE(w.form.IsRunning());
    w.FeedSweep({10, 20, 40, 50, 45, 30, 15});
    EXPECT_EQ(w.Positions(), (std::vector<int32_t>{700, 800, 900, 1000, 1100, 1200, 1300}));
    EXPECT_EQ(w.Memo1.lines[3], " 1000 = 50");
    EXPECT_EQ(w.Memo1.lines.back(), " 1026 -> Focus");
    EXPECT_EQ(w.LabStatus.Text(), "OK");  // the final wait writes last
    EXPECT_NE(std::find(w.LabStatus.painted.begin(), w.LabStatus.painted.end(), "Best Focus = 1026"),
              w.LabStatus.painted.end());
    EXPECT_EQ(w.driver.moves.back(), 1026);
    EXPECT_FALSE(w.form.IsRunning());
    EXPECT_TRUE(w.ButStart.Enabled());
    EXPECT_EQ(w.platform.posts, (std::vector<Post>{{kHost, 0xC123, 4, 44}}));
    EXPECT_EQ(w.form.HostWindow(), 0u);
}

TEST(AutofocusRun, SixStepsReachOneFurtherBelow) {
    RunFixture w(1000);
    w.EdSteps.value = 6;
    w.form.ButStartClick();
    w.FeedSweep({10, 20, 40, 50, 45, 30});
    EXPECT_EQ(w.Positions(), (std::vector<int32_t>{700, 800, 900, 1000, 1100, 1200}));
}

TEST(AutofocusRun, ClampedFirstMoveEndsInErrorAtTheRunStart) {
    RunFixture w(150);
    w.form.ButStartClick();
    EXPECT_EQ(w.driver.moves.front(), 0);
    w.FeedSweep({10, 20, 40, 50, 45, 30, 15});
    EXPECT_EQ(w.Positions().front(), 0);
    EXPECT_NE(std::find(w.LabStatus.painted.begin(), w.LabStatus.painted.end(), "Error"), w.LabStatus.painted.end());
    EXPECT_EQ(w.Memo1.lines.size(), 7u);  // no result line
    EXPECT_EQ(w.driver.moves.back(), 0);
    EXPECT_EQ(w.platform.posts.size(), 1u);  // the host is told all the same
}

TEST(AutofocusRun, NonPositiveValuesLogZeroAndFail) {
    RunFixture w;
    w.form.ButStartClick();
    w.SendValues({-5, 0});
    EXPECT_EQ(w.Memo1.lines[0], "  700 = 0");
    w.FeedSweep({20, 40, 50, 45, 30, 15});
    EXPECT_EQ(w.Memo1.lines.size(), 7u);
    EXPECT_EQ(w.driver.moves.back(), 700);
}

TEST(AutofocusRun, ValuesSoonAfterAStepMoveAreIgnored) {
    struct Case {
        uint32_t delay;
        bool counted;
    };
    for (Case c : {Case{150, false}, Case{199, false}, Case{200, true}, Case{250, true}}) {
        RunFixture w;
        w.form.ButStartClick();
        w.SendValues({10, 10});  // completes the first position and moves on
        ASSERT_EQ(w.Memo1.lines.size(), 1u);
        w.platform.now = w.form.LastMoveTick() + c.delay;
        w.form.HandleFocusValue(99);
        EXPECT_EQ(w.form.StepSampleCount(), c.counted ? 1u : 0u) << c.delay;
        EXPECT_EQ(w.LabStatus.Text(), "Focus = 99");  // shown either way
    }
}

TEST(AutofocusRun, TickCountWrapAroundStillMeasuresTheShortTime) {
    RunFixture w;
    w.form.ButStartClick();
    w.platform.now = 0xFFFFFF00u;
    w.SendValues({10, 10}, 0);
    ASSERT_EQ(w.Memo1.lines.size(), 1u);
    w.platform.now = w.form.LastMoveTick() + 300;  // wraps past zero
    w.form.HandleFocusValue(5);
    EXPECT_EQ(w.form.StepSampleCount(), 1u);
}

TEST(AutofocusRun, LoweringExpoPerStepMidPositionCompletesAtTheNextValue) {
    RunFixture w;
    w.EdExpo.value = 5;
    w.form.ButStartClick();
    w.SendValues({1, 7, 3});
    EXPECT_EQ(w.form.StepSampleCount(), 3u);
    w.EdExpo.value = 2;
    w.SendValues({2});
    EXPECT_EQ(w.Memo1.lines, std::vector<std::string>{"  700 = 7"});
    EXPECT_EQ(w.form.StepSampleCount(), 0u);
}

TEST(AutofocusRun, StopThenStartClearsTheLogAndSweepsFromHere) {
    RunFixture w(1000);
    w.form.ButStartClick();
    w.FeedSweep({10, 20});
    w.form.ButStopClick();
    EXPECT_FALSE(w.form.IsRunning());
    const size_t moves = w.driver.moves.size();
    w.SendValues({50, 50});  // counted no more
    EXPECT_EQ(w.driver.moves.size(), moves);
    EXPECT_EQ(w.Memo1.lines.size(), 2u);
    EXPECT_TRUE(w.platform.posts.empty());
    EXPECT_EQ(w.form.HostWindow(), kHost);  // a stopped run keeps the host
    w.form.ButStartClick();
    EXPECT_TRUE(w.Memo1.lines.empty());
    EXPECT_EQ(w.form.SweepFirstPosition(), 900 - 300);
}

TEST(AutofocusRun, WithoutAHostNothingIsPosted) {
    RunFixture w;
    w.form.HandleFocuserMessage(3, 0);
    w.form.ButStartClick();
    w.FeedSweep({10, 20, 40, 50, 45, 30, 15});
    EXPECT_TRUE(w.platform.posts.empty());
    // A second complete run after a single command 3: only the first is reported.
    RunFixture v;
    v.form.ButStartClick();
    v.FeedSweep({10, 20, 40, 50, 45, 30, 15});
    v.form.ButStartClick();
    v.FeedSweep({10, 20, 40, 50, 45, 30, 15});
    EXPECT_EQ(v.platform.posts.size(), 1u);
}

TEST(AutofocusRun, BacklashApproachFromBelow) {
    RunFixture w(1000);
    w.CBBacklash.checked = true;
    w.form.ButStartClick();
    w.FeedSweep({10, 20, 40, 50, 45, 30, 15});
    ASSERT_GE(w.driver.moves.size(), 2u);
    EXPECT_EQ(w.driver.moves[w.driver.moves.size() - 2], 976);
    EXPECT_EQ(w.driver.moves.back(), 1026);
}

TEST(AutofocusRun, NoBacklashApproachWhenTheResultIsTheSweepStart) {
    RunFixture w(1000);
    w.CBBacklash.checked = true;
    w.form.ButStartClick();
    w.FeedSweep({70, 60, 50, 40, 30, 20, 10});
    EXPECT_EQ(w.driver.moves.back(), 700);
    EXPECT_NE(w.driver.moves[w.driver.moves.size() - 2], 650);
}

TEST(AutofocusRun, PausesOfTheFinish) {
    RunFixture w(1000);
    w.CBBacklash.checked = true;
    w.form.ButStartClick();
    w.FeedSweep({10, 20, 40, 50, 45, 30});
    w.platform.sleeps.clear();
    w.FeedSweep({15});
    // backlash: 500 then the wait (one poll and 50); final: 80, 500, the wait.
    EXPECT_EQ(w.platform.sleeps, (std::vector<uint32_t>{500, 100, 50, 80, 500, 100, 50}));
}

TEST(AutofocusRun, StepMovePausesAndReadsThePositionBack) {
    RunFixture w(1000);
    w.form.ButStartClick();
    w.platform.sleeps.clear();
    w.SendValues({10, 10});
    EXPECT_EQ(w.platform.sleeps, (std::vector<uint32_t>{80, 100, 50}));
    // A host move during the run shifts the rest of the sweep.
    w.form.HandleFocuserMessage(5, 5000);
    w.platform.now += 300;
    w.SendValues({10, 10});
    EXPECT_EQ(w.Memo1.lines[1], " 5000 = 10");
    EXPECT_EQ(w.driver.moves.back(), 5100);
}

TEST(AutofocusRun, FocusValuesOutsideARun) {
    FakeWindow w;
    w.form.HandleFocusValue(12);
    EXPECT_EQ(w.LabStatus.Text(), "Disconnected");
    w.Connect();
    w.form.HandleFocusValue(std::numeric_limits<int32_t>::max());
    EXPECT_EQ(w.LabStatus.Text(), "Focus = 2147483647");
    EXPECT_TRUE(w.Memo1.lines.empty());
}

TEST(AutofocusRun, MessagesHandledDuringStartAreShownNotCounted) {
    RunFixture w;
    w.platform.onProcessMessages = [&] { w.form.HandleFocusValue(77); };
    w.form.ButStartClick();
    EXPECT_EQ(w.LabStatus.Text(), "Focus = 77");
    EXPECT_EQ(w.form.StepSampleCount(), 0u);
    EXPECT_TRUE(w.form.IsRunning());
}

TEST(AutofocusRun, DisconnectWhileStartingAbandonsTheStart) {
    RunFixture w;
    w.platform.onProcessMessages = [&] { w.form.ButDisconnectClick(); };
    w.form.ButStartClick();
    EXPECT_FALSE(w.form.IsRunning());
    EXPECT_FALSE(w.ButStop.Enabled());
    EXPECT_TRUE(w.ButConnect.Enabled());
}

TEST(AutofocusRun, PageSwitchWhileStartingCancelsTheRun) {
    RunFixture w;
    w.platform.onProcessMessages = [&] { w.form.PGMainChange(); };
    w.form.ButStartClick();
    EXPECT_FALSE(w.form.IsRunning());
    EXPECT_TRUE(w.ButStart.Enabled());
    EXPECT_FALSE(w.ButStop.Enabled());
}

TEST(AutofocusRun, DriverErrorDuringStartLeavesStarting) {
    RunFixture w;
    w.driver.failAt["Move"] = 1;
    EXPECT_THROW(w.form.ButStartClick(), AutomationError);
    EXPECT_FALSE(w.ButStart.Enabled());
    EXPECT_FALSE(w.ButStop.Enabled());
    w.form.PGMainChange();  // a page switch brings it back to idle
    EXPECT_TRUE(w.ButStart.Enabled());
}

TEST(AutofocusRun, PositionReadFailingAtSwitchOnLeavesStarting) {
    RunFixture w;
    w.Memo1.AppendLine("  700 = 5");
    // Start reads the position for the sweep, then again when it switches the run on.
    w.driver.failAt["Position"] = w.driver.callCount["Position"] + 2;
    EXPECT_THROW(w.form.ButStartClick(), AutomationError);
    EXPECT_FALSE(w.ButStart.Enabled());
    EXPECT_FALSE(w.ButStop.Enabled());
    EXPECT_EQ(w.Memo1.lines.size(), 1u);  // nothing of the run was switched on
}

TEST(AutofocusRun, DriverErrorInAStepKeepsTheRunGoing) {
    RunFixture w;
    w.form.ButStartClick();
    w.driver.failAt["Move"] = w.driver.callCount["Move"] + 1;
    EXPECT_THROW(w.SendValues({10, 10}), AutomationError);
    EXPECT_EQ(w.Memo1.lines.size(), 1u);
    EXPECT_TRUE(w.form.IsRunning());
}

TEST(AutofocusRun, SweepArithmeticSaturates) {
    FakeWindow w;
    w.driver.absolute = false;
    w.Connect();
    w.EdInc.value = std::numeric_limits<int32_t>::max();
    w.EdSteps.value = 49;
    w.form.ButStartClick();
    EXPECT_EQ(w.form.SweepFirstPosition(), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(w.form.SoftPosition(), std::numeric_limits<int32_t>::min() + 10000);
}

TEST(AutofocusRun, FloodOfValuesStaysInOrder) {
    RunFixture w;
    w.EdSteps.value = 49;
    w.EdExpo.value = 9;
    w.EdInc.value = 1;
    w.form.ButStartClick();
    for (int i = 0; i < 10000 && w.form.IsRunning(); ++i) w.SendValues({1 + i % 97}, 250);
    EXPECT_FALSE(w.form.IsRunning());
    EXPECT_EQ(w.Memo1.lines.size(), 50u);  // 49 steps and the result
}

}  // namespace
}  // namespace qm::test
