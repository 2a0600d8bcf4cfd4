// The host message link: every code in every controller state.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "tests/core/form_fakes.h"

namespace qm::test {
namespace {

enum class State { Disconnected, Idle, Starting, Running };

void Enter(FakeWindow& w, State s) {
    if (s == State::Disconnected) return;
    w.Connect();
    if (s == State::Starting) w.ButStart.SetEnabled(false);
    if (s == State::Running) w.form.SetRunning(true);
    w.driver.calls.clear();
    w.driver.moves.clear();
}

struct Outcome {
    std::vector<int32_t> moves;
    int minimised;
    uintptr_t host;
    bool started;
    std::string status;
};

Outcome Send(State s, uint64_t code, intptr_t value) {
    FakeWindow w;
    w.form.FormCreate();
    Enter(w, s);
    w.platform.now += 1000;
    std::string statusBefore = w.LabStatus.Text();
    w.form.HandleFocuserMessage(code, value);
    bool started = !w.driver.moves.empty() && w.form.SweepFirstPosition() == 700 && code == 2;
    return {w.driver.moves, w.platform.minimised, w.form.HostWindow(), started,
            w.LabStatus.Text() == statusBefore ? "" : w.LabStatus.Text()};
}

TEST(HostLink, EveryCodeInEveryState) {
    const State states[] = {State::Disconnected, State::Idle, State::Starting, State::Running};
    const intptr_t values[] = {0, 22, -50, 44, std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()};
    for (State s : states) {
        const bool connected = s != State::Disconnected;
        for (uint64_t code = 0; code <= 10; ++code) {
            for (intptr_t v : values) {
                SCOPED_TRACE("state " + std::to_string(static_cast<int>(s)) + " code " + std::to_string(code) +
                             " value " + std::to_string(v));
                Outcome o = Send(s, code, v);
                EXPECT_EQ(o.minimised, code == 1 && v == 0 ? 1 : 0);
                EXPECT_EQ(o.host, code == 3 ? static_cast<uintptr_t>(v) : 0u);
                EXPECT_EQ(o.started, code == 2 && v == 22 && s == State::Idle);
                if (code == 0)
                    EXPECT_EQ(o.status, connected ? "Focus = " + std::to_string(v) : "");
                if (code == 5 && connected) {
                    int32_t expected = std::clamp<int64_t>(v, 0, 30000);
                    EXPECT_EQ(o.moves, std::vector<int32_t>{expected});
                } else if (code == 6 && connected) {
                    int32_t expected = std::clamp<int64_t>(1000 + static_cast<int64_t>(v), 0, 30000);
                    EXPECT_EQ(o.moves, std::vector<int32_t>{expected});
                } else if (!(code == 2 && v == 22 && s == State::Idle)) {
                    EXPECT_TRUE(o.moves.empty());
                }
            }
        }
    }
}

TEST(HostLink, StartCommandOpensTheAutofocusPage) {
    FakeWindow w;
    w.Connect();
    w.form.HandleFocuserMessage(2, 22);
    EXPECT_EQ(w.PGMain.page, PageControlView::kAutofocusPage);
    EXPECT_TRUE(w.form.IsRunning());
}

TEST(HostLink, RelativeOffsetFromTheCurrentPosition) {
    FakeWindow w;
    w.driver.position = 1000;
    w.Connect();
    w.form.HandleFocuserMessage(6, -50);
    EXPECT_EQ(w.driver.moves, std::vector<int32_t>{950});
    // Moves are only started: the status line is not touched and nothing is waited for.
    EXPECT_EQ(w.LabStatus.Text(), "Waiting for exposure");
    EXPECT_EQ(w.driver.callCount["IsMoving"], 0);
}

TEST(HostLink, RelativeFocuserOffsetsSaturate) {
    FakeWindow w;
    w.driver.absolute = false;
    w.Connect();
    w.form.HandleFocuserMessage(6, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(w.form.SoftPosition(), std::numeric_limits<int32_t>::max());
    w.form.HandleFocuserMessage(6, 1);
    EXPECT_EQ(w.form.SoftPosition(), std::numeric_limits<int32_t>::max());
}

TEST(HostLink, SixtyFourBitValuesAreReadAsSigned32Bit) {
    FakeWindow w;
    w.Connect();
    // A 32-bit host's -50 arrives sign-extended, or zero-extended by some senders.
    w.form.HandleFocuserMessage(6, static_cast<intptr_t>(0xFFFFFFCE));
    EXPECT_EQ(w.driver.moves, std::vector<int32_t>{950});
}

}  // namespace
}  // namespace qm::test
