// The focuser binding against a scripted driver: connecting through the chooser,
// the three connection errors, absolute and relative moves, and the wait for a move.
#include <gtest/gtest.h>

#include <limits>

#include "tests/core/form_fakes.h"

namespace qm::test {
namespace {

struct ConnectCase {
    const char* name;
    std::string remembered;
    bool autoConnect;
    std::string chooseResult;
    std::string failMember;       // a chooser or driver member that fails
    bool driverCreatable;
    bool expectConnected;
    std::vector<std::string> expectErrors;
    std::string expectRemembered;
    std::vector<std::string> expectChooserCalls;
};

TEST(ConnectFocuser, Flows) {
    const ConnectCase cases[] = {
        {"chooser shown with no remembered driver", "", false, "Sim.Focuser", "", true, true, {}, "Sim.Focuser",
         {"put DeviceType(\"Focuser\")", "read Choose"}},
        {"three characters remembered: chooser shown even with automatic connection", "abc", true, "Sim.Focuser", "",
         true, true, {}, "Sim.Focuser", {"put DeviceType(\"Focuser\")", "read Choose"}},
        {"remembered driver preselected in the chooser", "Other.Focuser", false, "Sim.Focuser", "", true, true, {},
         "Sim.Focuser", {"put DeviceType(\"Focuser\")", "call Choose(\"Other.Focuser\")"}},
        {"automatic connection: no chooser dialog, but the chooser is still created", "Other.Focuser", true, "", "",
         true, true, {}, "Other.Focuser", {"put DeviceType(\"Focuser\")"}},
        {"cancelled chooser", "", false, "", "", true, false, {}, "", {"put DeviceType(\"Focuser\")", "read Choose"}},
        {"DeviceType cannot be written", "", false, "Sim.Focuser", "DeviceType", true, false,
         {"ASCOM drivers not found."}, "", {"put DeviceType(\"Focuser\")"}},
        {"Choose fails", "", false, "Sim.Focuser", "Choose", true, false, {"ASCOM drivers not found."}, "",
         {"put DeviceType(\"Focuser\")", "read Choose"}},
        {"driver cannot be created", "", false, "Missing.Focuser", "", true, false, {"ASCOM focuser not found."}, "",
         {"put DeviceType(\"Focuser\")", "read Choose"}},
        {"Link fails: the new driver is still remembered", "", false, "Sim.Focuser", "Link", true, false,
         {"Focuser not recognized."}, "Sim.Focuser", {"put DeviceType(\"Focuser\")", "read Choose"}},
        {"MaxStep fails", "Old.Driver", false, "Sim.Focuser", "MaxStep", true, false, {"Focuser not recognized."},
         "Sim.Focuser", {"put DeviceType(\"Focuser\")", "call Choose(\"Old.Driver\")"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWindow w;
        w.save.TagString = c.remembered;
        w.CBAutoConn.checked = c.autoConnect;
        w.driver.chooseResult = c.chooseResult;
        if (!c.failMember.empty()) w.driver.failAt[c.failMember] = 1;
        EXPECT_EQ(w.form.ConnectFocuser(), c.expectConnected);
        EXPECT_EQ(w.form.HasDriver(), c.expectConnected);
        EXPECT_EQ(w.platform.errors, c.expectErrors);
        EXPECT_EQ(w.save.TagString, c.expectRemembered.empty() ? c.remembered : c.expectRemembered);
        EXPECT_EQ(w.driver.MembersCalled("chooser"), c.expectChooserCalls);
    }
}

TEST(ConnectFocuser, MissingChooserFailsEvenForAutomaticConnection) {
    FakeWindow w;
    w.save.TagString = "Sim.Focuser";
    w.CBAutoConn.checked = true;
    w.driver.creatable.erase("DriverHelper.Chooser");
    EXPECT_FALSE(w.form.ConnectFocuser());
    EXPECT_EQ(w.platform.errors, std::vector<std::string>{"ASCOM drivers not found."});
}

TEST(ConnectFocuser, LinksAndReadsMaxStep) {
    FakeWindow w;
    w.driver.maxStep = 5000;
    ASSERT_TRUE(w.form.ConnectFocuser());
    EXPECT_EQ(w.driver.MembersCalled("driver"), (std::vector<std::string>{"put Link(true)", "read MaxStep"}));
    EXPECT_EQ(w.form.FocuserMaxStep(), 5000);
}

TEST(MoveFocuserTo, AbsoluteTargetsAreClampedToTheRange) {
    const std::pair<int32_t, int32_t> cases[] = {
        {-20, 0}, {7000, 5000}, {5000, 5000}, {0, 0}, {1234, 1234},
        {std::numeric_limits<int32_t>::min(), 0}, {std::numeric_limits<int32_t>::max(), 5000}};
    FakeWindow w;
    w.driver.maxStep = 5000;
    w.Connect();
    for (auto [target, sent] : cases) {
        w.driver.moves.clear();
        w.form.MoveFocuserTo(target);
        EXPECT_EQ(w.driver.moves, std::vector<int32_t>{sent}) << "target " << target;
    }
    // A move costs two calls: Absolute, then Move with the target by reference.
    w.driver.calls.clear();
    w.form.MoveFocuserTo(10);
    EXPECT_EQ(w.driver.MembersCalled("driver"), (std::vector<std::string>{"read Absolute", "call Move(&10)"}));
}

TEST(MoveFocuserTo, RelativeFocuserCountsSoftPosition) {
    FakeWindow w;
    w.driver.absolute = false;
    w.driver.maxStep = 5000;  // bounds only absolute moves
    w.Connect();
    EXPECT_EQ(w.form.SoftPosition(), 10000);
    const std::pair<int32_t, int32_t> steps[] = {{10100, 100}, {10090, -10}, {10090, 0}, {20000, 9910}};
    for (auto [target, sent] : steps) {
        w.driver.moves.clear();
        w.form.MoveFocuserTo(target);
        EXPECT_EQ(w.driver.moves, std::vector<int32_t>{sent});
        EXPECT_EQ(w.form.SoftPosition(), target);
    }
    // A position read asks only whether the focuser is absolute.
    w.driver.calls.clear();
    EXPECT_EQ(w.form.GetFocuserPosition(), 20000);
    EXPECT_EQ(w.driver.MembersCalled("driver"), std::vector<std::string>{"read Absolute"});
}

TEST(MoveFocuserTo, RelativeStepCountsSaturateInsteadOfOverflowing) {
    FakeWindow w;
    w.driver.absolute = false;
    w.Connect();
    // The step count sticks at the 32-bit limit and SoftPosition counts what was sent.
    w.form.MoveFocuserTo(std::numeric_limits<int32_t>::min());
    EXPECT_EQ(w.driver.moves.back(), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(w.form.SoftPosition(), std::numeric_limits<int32_t>::min() + 10000);
    w.form.MoveFocuserTo(std::numeric_limits<int32_t>::max());
    EXPECT_EQ(w.driver.moves.back(), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(w.form.SoftPosition(), 9999);
}

TEST(MoveFocuserTo, FailedRelativeMoveLeavesSoftPosition) {
    FakeWindow w;
    w.driver.absolute = false;
    w.Connect();
    w.driver.failAt["Move"] = 1;
    EXPECT_THROW(w.form.MoveFocuserTo(10500), AutomationError);
    EXPECT_EQ(w.form.SoftPosition(), 10000);
}

TEST(FocuserOperations, FailWithoutADriver) {
    FakeWindow w;
    EXPECT_THROW(w.form.MoveFocuserTo(1), AutomationError);
    EXPECT_THROW(w.form.GetFocuserPosition(), AutomationError);
    EXPECT_THROW(w.form.WaitWhileMoving(), AutomationError);
}

TEST(WaitWhileMoving, PollsUntilTheFocuserStops) {
    struct Case {
        int movingPolls;
        bool stuck;
        size_t expectPolls;
        uint32_t expectElapsed;
        const char* expectStatus;
    };
    const Case cases[] = {
        {0, false, 1, 150, "OK"},
        {3, false, 4, 450, "OK"},
        {99, false, 100, 10050, "OK"},
        {0, true, 100, 10050, "Move timeout"},  // gave up: must not read as a success
    };
    for (const auto& c : cases) {
        FakeWindow w;
        w.Connect();
        w.driver.stuck = c.stuck;
        w.driver.pollsLeft = c.movingPolls;
        uint32_t start = w.platform.now;
        w.form.WaitWhileMoving();
        EXPECT_EQ(w.driver.callCount["IsMoving"], static_cast<int>(c.expectPolls));
        EXPECT_EQ(w.platform.now - start, c.expectElapsed);
        EXPECT_EQ(w.LabStatus.Text(), c.expectStatus);
        EXPECT_EQ(w.LabStatus.painted, (std::vector<std::string>{"Moving ...", c.expectStatus}));
    }
}

TEST(WaitWhileMoving, DriverErrorLeavesMovingShown) {
    FakeWindow w;
    w.Connect();
    w.driver.failAt["IsMoving"] = 2;
    w.driver.pollsLeft = 5;
    EXPECT_THROW(w.form.WaitWhileMoving(), AutomationError);
    EXPECT_EQ(w.LabStatus.Text(), "Moving ...");
}

}  // namespace
}  // namespace qm::test
