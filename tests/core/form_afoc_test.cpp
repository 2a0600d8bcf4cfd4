// Start-up, shut-down, help, the run-state queries and the manual controls.
#include <gtest/gtest.h>

#include "tests/core/form_fakes.h"

namespace qm::test {
namespace {

TEST(FormStartUp, RegistersTheMessageAndForgetsTheHost) {
    FakeWindow w;
    w.form.FormCreate();
    EXPECT_EQ(w.form.FocuserMessageId(), 0xC123u);
    EXPECT_EQ(w.form.HostWindow(), 0u);
}

TEST(FormStartUp, ClosesWithoutParameters) {
    FakeWindow w;
    w.platform.startedWithParameters = false;
    w.form.FormShow();
    EXPECT_EQ(w.platform.closeRequests, 1);
    FakeWindow v;
    v.form.FormShow();
    EXPECT_EQ(v.platform.closeRequests, 0);
}

TEST(FormStartUp, AutomaticConnection) {
    struct Case {
        std::string remembered;
        bool autoConnect;
        bool connectEnabled;
        bool expectConnected;
    };
    const Case cases[] = {
        {"Sim.Focuser", true, true, true},   {"Sim.Focuser", false, true, false}, {"abc", true, true, false},
        {"", true, true, false},             {"Sim.Focuser", true, false, false},
    };
    for (const auto& c : cases) {
        FakeWindow w;
        w.save.TagString = c.remembered;
        w.CBAutoConn.checked = c.autoConnect;
        w.ButConnect.SetEnabled(c.connectEnabled);
        w.form.FormShow();
        EXPECT_EQ(w.form.HasDriver(), c.expectConnected) << c.remembered << " " << c.autoConnect;
        // The automatic connection never shows the chooser.
        for (const auto& call : w.driver.calls) EXPECT_NE(call.member, "Choose");
    }
}

// A host's start handled inside the automatic connection (while the driver is being
// created) starts the run once the connection is made, and is dropped when it fails.
TEST(FormStartUp, StartDuringTheAutomaticConnection) {
    struct Case {
        const char* name;
        bool automatic;        // the connection at the first showing, not a click on Connect
        int32_t startValue;    // the value of the command 2 sent during the creation
        const char* failing;   // what makes the connection fail: nothing, the creation, Link
        bool expectRun;
    };
    const Case cases[] = {
        {"connected", true, 22, "", true},
        {"not a start", true, 21, "", false},
        {"driver not created", true, 22, "create", false},
        {"Link fails", true, 22, "Link", false},
        {"Connect clicked", false, 22, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWindow w;
        w.form.FormCreate();
        w.save.TagString = "Sim.Focuser";
        w.CBAutoConn.checked = c.automatic;
        if (std::string(c.failing) == "create") w.driver.creatable.erase("Sim.Focuser");
        if (std::string(c.failing) == "Link") w.driver.failAt["Link"] = 1;
        w.factory.onCreate = [&](const std::string& progId) {
            if (progId == "DriverHelper.Chooser") return;
            w.form.HandleFocuserMessage(3, 0x4321);
            w.form.HandleFocuserMessage(2, c.startValue);
            EXPECT_TRUE(w.driver.moves.empty());  // nothing can move before the driver exists
        };
        w.form.FormShow();
        if (!c.automatic) w.form.ButConnectClick();
        EXPECT_EQ(w.form.IsRunning(), c.expectRun);
        EXPECT_EQ(w.driver.moves, c.expectRun ? std::vector<int32_t>{700} : std::vector<int32_t>{});
        EXPECT_EQ(w.PGMain.page, c.expectRun ? PageControlView::kAutofocusPage : PageControlView::kControlPage);
        // The host's window, sent meanwhile, is kept for the report.
        EXPECT_EQ(w.form.HostWindow(), 0x4321u);
        // The held start is not carried over to a later connection.
        if (c.expectRun || std::string(c.failing) == "Link") continue;
        w.factory.onCreate = nullptr;
        w.driver.creatable.insert("Sim.Focuser");
        if (w.ButConnect.Enabled()) w.form.ButConnectClick();
        EXPECT_TRUE(w.form.IsConnected());
        EXPECT_FALSE(w.form.IsRunning());
    }
}

TEST(FormStartUp, AutomaticConnectionStillRunsWhenClosingAtOnce) {
    FakeWindow w;
    w.platform.startedWithParameters = false;
    w.save.TagString = "Sim.Focuser";
    w.CBAutoConn.checked = true;
    w.form.FormShow();
    EXPECT_EQ(w.platform.closeRequests, 1);
    EXPECT_TRUE(w.form.HasDriver());
}

TEST(FormClose, DisconnectsAConnectedFocuser) {
    FakeWindow w;
    w.Connect();
    w.form.FormClose();
    EXPECT_FALSE(w.form.HasDriver());
    EXPECT_EQ(w.driver.MembersCalled("driver"), std::vector<std::string>{"put Link(false)"});
    FakeWindow idle;
    idle.form.FormClose();
    EXPECT_TRUE(idle.driver.calls.empty());
}

TEST(Help, OpensTheDocumentOrReportsItMissing) {
    FakeWindow w;
    w.form.ButHelpClick();
    EXPECT_EQ(w.platform.errors, std::vector<std::string>{"File not found:\rC:\\prog\\focusers_readme.htm"});
    EXPECT_TRUE(w.platform.opened.empty());
    w.platform.existingFiles.insert("C:\\prog\\focusers_readme.htm");
    w.form.ButHelpClick();
    EXPECT_EQ(w.platform.opened, std::vector<std::string>{"C:\\prog\\focusers_readme.htm"});
    EXPECT_EQ(w.platform.errors.size(), 1u);
}

TEST(RunState, QueriesReadTheButtons) {
    FakeWindow w;
    EXPECT_FALSE(w.form.IsConnected());
    w.Connect();
    EXPECT_TRUE(w.form.IsConnected());
    EXPECT_FALSE(w.form.IsRunning());
    w.form.SetRunning(true);
    EXPECT_TRUE(w.form.IsRunning());
    EXPECT_TRUE(w.ButStop.Enabled());
    EXPECT_FALSE(w.ButStart.Enabled());
    w.form.SetRunning(false);
    EXPECT_FALSE(w.form.IsRunning());
    EXPECT_TRUE(w.ButStart.Enabled());
}

TEST(PageChange, EndsARunOnlyWhileConnected) {
    FakeWindow w;
    w.form.PGMainChange();
    EXPECT_FALSE(w.ButStart.Enabled());  // disconnected: nothing changes
    w.Connect();
    w.form.SetRunning(true);
    w.Memo1.AppendLine("  700 = 5");
    w.form.PGMainChange();
    EXPECT_FALSE(w.form.IsRunning());
    EXPECT_TRUE(w.ButStart.Enabled());
    EXPECT_EQ(w.Memo1.lines.size(), 1u);  // the log keeps its lines
    EXPECT_TRUE(w.driver.moves.empty());
}

TEST(ManualControl, ConnectAndDisconnectSetTheControls) {
    FakeWindow w;
    w.form.ButConnectClick();
    EXPECT_FALSE(w.ButConnect.Enabled());
    EXPECT_TRUE(w.ButDisconnect.Enabled());
    EXPECT_TRUE(w.ButStart.Enabled());
    EXPECT_FALSE(w.ButStop.Enabled());
    EXPECT_TRUE(w.Timer1.Enabled());
    EXPECT_EQ(w.LabStatus.Text(), "Waiting for exposure");
    w.form.ButDisconnectClick();
    EXPECT_TRUE(w.ButConnect.Enabled());
    EXPECT_FALSE(w.ButDisconnect.Enabled());
    EXPECT_FALSE(w.ButStart.Enabled());
    EXPECT_FALSE(w.Timer1.Enabled());
    EXPECT_EQ(w.LabPos.Text(), "00000");
    EXPECT_EQ(w.LabStatus.Text(), "Disconnected");
}

TEST(ManualControl, FailedConnectChangesNothing) {
    FakeWindow w;
    w.driver.chooseResult = "";
    w.form.ButConnectClick();
    EXPECT_TRUE(w.ButConnect.Enabled());
    EXPECT_FALSE(w.Timer1.Enabled());
    EXPECT_EQ(w.LabStatus.Text(), "Disconnected");
    EXPECT_EQ(w.form.SoftPosition(), 0);
}

TEST(ManualControl, FailedUnlinkStillDisconnects) {
    FakeWindow w;
    w.Connect();
    w.driver.failAt["Link"] = 1;
    EXPECT_THROW(w.form.ButDisconnectClick(), AutomationError);
    EXPECT_EQ(w.driver.MembersCalled("driver"), std::vector<std::string>{"put Link(false)"});
    EXPECT_FALSE(w.Timer1.Enabled());
    EXPECT_FALSE(w.form.HasDriver());
    EXPECT_FALSE(w.ButDisconnect.Enabled());
    EXPECT_TRUE(w.ButConnect.Enabled());
    EXPECT_EQ(w.LabStatus.Text(), "Disconnected");
    EXPECT_EQ(w.LabPos.Text(), "00000");
}

TEST(ManualControl, StepButtonsMoveByTheirCaption) {
    struct Case {
        bool absolute;
        int32_t position;
        const char* caption;
        int32_t expectMove;
    };
    const Case cases[] = {
        {true, 50, "-100", 0},          {true, 29950, "+100", 30000}, {true, 1000, "-1", 999},
        {true, 1000, "+10", 1010},      {true, 1000, "Go", 1000},     {false, 0, "+10", 10},
        {false, 0, "-100", -100},       {false, 0, "x", 0},
    };
    for (const auto& c : cases) {
        FakeWindow w;
        w.driver.absolute = c.absolute;
        w.driver.position = c.position;
        w.Connect();
        FakeButton button(c.caption, true);
        w.form.ButStepClick(button);
        EXPECT_EQ(w.driver.moves, std::vector<int32_t>{c.expectMove}) << c.caption;
    }
}

TEST(ManualControl, QuickClicksOnARelativeFocuserAddUp) {
    FakeWindow w;
    w.driver.absolute = false;
    w.Connect();
    FakeButton plus100("+100", true);
    w.form.ButStepClick(plus100);
    w.form.ButStepClick(plus100);
    EXPECT_EQ(w.form.SoftPosition(), 10200);
    w.form.Timer1Timer();
    EXPECT_EQ(w.LabPos.Text(), "10200");
}

TEST(ManualControl, DisplayRefreshesOnlyOnTheControlPage) {
    FakeWindow w;
    w.driver.position = -25;
    w.Connect();
    w.form.Timer1Timer();
    EXPECT_EQ(w.LabPos.Text(), "-25");
    w.driver.position = 7;
    w.PGMain.page = PageControlView::kAutofocusPage;
    const size_t callsBefore = w.driver.calls.size();
    w.form.Timer1Timer();
    EXPECT_EQ(w.LabPos.Text(), "-25");
    EXPECT_EQ(w.driver.calls.size(), callsBefore);  // no poll while the Autofocus page shows
    w.PGMain.page = PageControlView::kControlPage;
    w.form.Timer1Timer();
    EXPECT_EQ(w.LabPos.Text(), "7");
}

TEST(ManualControl, ReconnectingStartsARelativeFocuserAt10000) {
    FakeWindow w;
    w.driver.absolute = false;
    w.Connect();
    w.form.MoveFocuserTo(12345);
    w.form.ButDisconnectClick();
    w.form.ButConnectClick();
    EXPECT_EQ(w.form.GetFocuserPosition(), 10000);
}

}  // namespace
}  // namespace qm::test
