// The driver check's advice against the program itself: for each member the check
// can find failing once connected, the program's controller runs every focuser
// action over a driver failing in that member, and what it does (which actions show
// a box, whether again when repeated, the state afterwards) must be what the
// check's table, and so its verdict text, tells the user.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "checker/failure_effects.h"
#include "tests/core/form_fakes.h"

namespace qm::test {
namespace {

using check::FocuserAction;
using check::Repeats;

constexpr int32_t kDriverException = static_cast<int32_t>(0x80040500);

const FocuserAction kAllActions[] = {FocuserAction::PositionDisplay, FocuserAction::StepClick,
                                     FocuserAction::HostMoveTo,      FocuserAction::HostMoveBy,
                                     FocuserAction::RunStart,        FocuserAction::RunStep,
                                     FocuserAction::Disconnect};

const char* Name(FocuserAction action) {
    switch (action) {
        case FocuserAction::PositionDisplay: return "position display";
        case FocuserAction::StepClick: return "step click";
        case FocuserAction::HostMoveTo: return "host move to";
        case FocuserAction::HostMoveBy: return "host move by";
        case FocuserAction::RunStart: return "run start";
        case FocuserAction::RunStep: return "run step";
        case FocuserAction::Disconnect: return "disconnect";
    }
    return "?";
}

// True when the handler raised, that is, when the window shows the general error report.
template <typename Handler>
bool Reports(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception&) {
        return true;
    }
    return false;
}

// One go of the action, as the user or the imaging program makes it.
bool Perform(FakeWindow& w, FocuserAction action) {
    FakeButton plus10("+10", true);
    switch (action) {
        case FocuserAction::PositionDisplay: return Reports([&] { w.form.Timer1Timer(); });
        case FocuserAction::StepClick: return Reports([&] { w.form.ButStepClick(plus10); });
        case FocuserAction::HostMoveTo: return Reports([&] { w.form.HandleFocuserMessage(5, 2000); });
        case FocuserAction::HostMoveBy: return Reports([&] { w.form.HandleFocuserMessage(6, -30); });
        case FocuserAction::RunStart:
            // Start is off after a start that failed; switching pages turns it on again.
            w.form.PGMainChange();
            return Reports([&] { w.form.ButStartClick(); });
        case FocuserAction::RunStep: {
            // A run started before the failure began; the host's value completes a position.
            if (!w.form.IsRunning()) {
                const auto failing = std::exchange(w.driver.failAt, {});
                w.EdExpo.value = 1;
                w.form.ButStartClick();
                for (const auto& entry : failing) w.driver.failAt[entry.first] = w.driver.callCount[entry.first] + 1;
            }
            w.platform.now += 1000;
            return Reports([&] { w.form.HandleFocuserMessage(0, 100); });
        }
        case FocuserAction::Disconnect: return Reports([&] { w.form.ButDisconnectClick(); });
    }
    return false;
}

// A connected absolute focuser whose `member` fails from the next call on.
void ConnectFailing(FakeWindow& w, const std::string& member) {
    w.Connect();
    w.driver.failAt[member] = 1;
    w.driver.failStatus = kDriverException;
}

TEST(FailureAdvice, EachFailingMemberMeetsTheActionsTheCheckNames) {
    for (const char* member : {"Absolute", "Position", "IsMoving", "Move", "Link"}) {
        const auto meeting = check::ActionsMeeting(member);
        ASSERT_TRUE(meeting) << member;
        ASSERT_TRUE(check::ConsequenceText(member)) << member;
        for (FocuserAction action : kAllActions) {
            SCOPED_TRACE(std::string(member) + " failing, " + Name(action));
            const bool meets = std::find(meeting->begin(), meeting->end(), action) != meeting->end();
            FakeWindow w;
            ConnectFailing(w, member);
            w.LabPos.SetText("1000");  // as the first tick showed it
            EXPECT_EQ(Perform(w, action), meets);
            if (!meets) continue;

            switch (check::RepeatsOf(action)) {
                case Repeats::OncePerStreak:
                    EXPECT_FALSE(Perform(w, action));
                    break;
                case Repeats::EveryTime:
                    if (action != FocuserAction::Disconnect) EXPECT_TRUE(Perform(w, action));
                    break;
                case Repeats::UnlessStillOpen:
                    // Whether a box with the same failure is still open is the window's to
                    // know; the controller's part is that the first one shows.
                    break;
            }
            // What the text says of the state afterwards.
            switch (action) {
                case FocuserAction::PositionDisplay:
                    EXPECT_EQ(w.LabPos.Text(), "1000");
                    EXPECT_TRUE(w.Timer1.Enabled());
                    break;
                case FocuserAction::RunStart:
                    EXPECT_FALSE(w.form.IsRunning());
                    EXPECT_FALSE(w.ButStart.Enabled());
                    w.form.PGMainChange();
                    EXPECT_TRUE(w.ButStart.Enabled());
                    break;
                case FocuserAction::RunStep:
                    EXPECT_TRUE(w.form.IsRunning());
                    break;
                case FocuserAction::Disconnect:
                    EXPECT_FALSE(w.form.HasDriver());
                    EXPECT_TRUE(w.ButConnect.Enabled());
                    EXPECT_EQ(w.LabStatus.Text(), "Disconnected");
                    // Closing the program afterwards has nothing left to report.
                    EXPECT_FALSE(Reports([&] { w.form.FormClose(); }));
                    break;
                default:
                    EXPECT_TRUE(w.form.IsConnected());
                    break;
            }
        }
    }
}

TEST(FailureAdvice, RunsStartedByTheImagingProgramAndClosingMeetTheFailureToo) {
    for (const char* member : {"Absolute", "Position", "IsMoving", "Move"}) {
        SCOPED_TRACE(member);
        FakeWindow w;
        ConnectFailing(w, member);
        EXPECT_TRUE(Reports([&] { w.form.HandleFocuserMessage(2, 22); }));
        EXPECT_FALSE(w.form.IsRunning());
    }
    FakeWindow w;
    ConnectFailing(w, "Link");
    EXPECT_TRUE(Reports([&] { w.form.FormClose(); }));
    EXPECT_FALSE(w.form.HasDriver());
}

TEST(FailureAdvice, TextsSayHowOftenTheBoxShows) {
    struct Case {
        const char* member;
        std::vector<std::string> says;
        std::vector<std::string> never;
    };
    const Case cases[] = {
        {"Position",
         {"position display shows this box once", "every click on a step button",
          "every move by an offset that the imaging program asks for shows it, unless the same box is still open",
          "Still working: moves to a position asked by the imaging program."},
         {"every half second"}},
        {"Move", {"Still working: the position display."}, {"position display shows"}},
        {"IsMoving",
         {"Still working: the position display, the step buttons, moves to a position",
          "a run under way when the failure begins shows it once"},
         {"runs under way"}},
        {"Link", {"show this box once; Quillomar still disconnects"}, {"leave the driver connected", "Still working"}},
    };
    for (const auto& c : cases) {
        const std::string text = check::ConsequenceText(c.member).value_or("");
        for (const auto& part : c.says) EXPECT_NE(text.find(part), std::string::npos) << c.member << ": " << text;
        for (const auto& part : c.never) EXPECT_EQ(text.find(part), std::string::npos) << c.member << ": " << text;
    }
    EXPECT_FALSE(check::ConsequenceText("MaxStep"));
}

}  // namespace
}  // namespace qm::test
