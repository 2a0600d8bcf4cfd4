// A driver that fails again and again, or whose process has died: which failures
// count as the same, when the timer and the host's messages keep quiet about them,
// and that Disconnect always ends disconnected.
#include <gtest/gtest.h>

#include <stdexcept>

#include "app/reported_failure.h"
#include "tests/core/form_fakes.h"

namespace qm::test {
namespace {

constexpr int32_t kServerUnavailable = static_cast<int32_t>(0x800706BA);
constexpr int32_t kDisconnected = static_cast<int32_t>(0x80010108);
constexpr int32_t kObjectNotConnected = static_cast<int32_t>(0x800401FD);
constexpr int32_t kDriverException = static_cast<int32_t>(0x80040500);

TEST(FailureIdentity, WhichFailuresAreTheSame) {
    struct Case {
        int32_t statusA;
        const char* messageA;
        int32_t statusB;
        const char* messageB;
        bool same;
    };
    const Case cases[] = {
        // A dead driver process answers with one of several statuses, in any text.
        {kServerUnavailable, "The RPC server is unavailable", kServerUnavailable, "The RPC server is unavailable", true},
        {kServerUnavailable, "The RPC server is unavailable", kDisconnected, "OLE error 80010108", true},
        {kObjectNotConnected, "a", kServerUnavailable, "b", true},
        // Otherwise status and text must both match.
        {kDriverException, "jammed", kDriverException, "jammed", true},
        {kDriverException, "jammed", kDriverException, "stuck", false},
        {kDriverException, "jammed", 0, "jammed", false},
        {kServerUnavailable, "jammed", kDriverException, "jammed", false},
        {0, "Could not convert", 0, "Could not convert", true},
    };
    for (const auto& c : cases) {
        FailureIdentity a = FailureIdentity::Of(AutomationError(c.messageA, {}, {}, 0, c.statusA));
        FailureIdentity b = FailureIdentity::Of(AutomationError(c.messageB, {}, {}, 0, c.statusB));
        EXPECT_EQ(a.SameAs(b), c.same) << c.messageA << " / " << c.messageB;
        EXPECT_EQ(b.SameAs(a), c.same) << c.messageB << " / " << c.messageA;
    }
    // An error that is not an automation error counts by its text alone.
    EXPECT_TRUE(FailureIdentity::Of(std::runtime_error("x")).SameAs(FailureIdentity::Of(AutomationError("x"))));
}

enum class DriverNow { Answers, Gone, GoneOtherStatus, OwnError, OtherOwnError };

void SetDriver(FakeWindow& w, DriverNow state) {
    w.driver.goneStatus = 0;
    w.driver.failAt.clear();
    switch (state) {
        case DriverNow::Answers: break;
        case DriverNow::Gone:
            w.driver.goneStatus = kServerUnavailable;
            w.driver.goneMessage = "The RPC server is unavailable";
            break;
        case DriverNow::GoneOtherStatus:
            w.driver.goneStatus = kDisconnected;
            w.driver.goneMessage = "The object invoked has disconnected from its clients";
            break;
        case DriverNow::OwnError:
            w.driver.failAt["Position"] = 1;
            w.driver.failStatus = kDriverException;
            break;
        case DriverNow::OtherOwnError:
            w.driver.failAt["Absolute"] = 1;
            w.driver.failStatus = kDriverException;
            break;
    }
}

// True when the call raised, that is, when the window would show the general error report.
template <typename Call>
bool Reports(Call&& call) {
    try {
        call();
    } catch (const std::exception&) {
        return true;
    }
    return false;
}

TEST(RepeatedFailures, TimerTicksReportAFailureOnceWhileItRepeats) {
    struct Tick {
        DriverNow driver;
        int32_t position;
        bool reports;
        const char* display;
    };
    const Tick ticks[] = {
        {DriverNow::Answers, 1000, false, "1000"},
        {DriverNow::Gone, 0, true, "1000"},
        {DriverNow::Gone, 0, false, "1000"},  // the display keeps its last value
        {DriverNow::GoneOtherStatus, 0, false, "1000"},
        {DriverNow::OwnError, 0, true, "1000"},  // a different failure
        {DriverNow::OwnError, 0, false, "1000"},
        {DriverNow::OtherOwnError, 0, true, "1000"},
        {DriverNow::Answers, 1200, false, "1200"},
        {DriverNow::OtherOwnError, 0, true, "1200"},  // reported again after a tick succeeded
        {DriverNow::OtherOwnError, 0, false, "1200"},
    };
    FakeWindow w;
    w.Connect();
    int n = 0;
    for (const auto& t : ticks) {
        SetDriver(w, t.driver);
        w.driver.position = t.position;
        EXPECT_EQ(Reports([&] { w.form.Timer1Timer(); }), t.reports) << "tick " << n;
        EXPECT_EQ(w.LabPos.Text(), t.display) << "tick " << n;
        EXPECT_TRUE(w.Timer1.Enabled()) << "tick " << n;
        ++n;
    }
}

TEST(RepeatedFailures, ClicksAlwaysReportAndTicksThenKeepQuiet) {
    FakeWindow w;
    w.Connect();
    FakeButton plus10("+10", true);
    SetDriver(w, DriverNow::Gone);
    EXPECT_TRUE(Reports([&] { w.form.ButStepClick(plus10); }));
    EXPECT_TRUE(Reports([&] { w.form.ButStepClick(plus10); }));
    EXPECT_FALSE(Reports([&] { w.form.Timer1Timer(); }));
    // A tick on the Autofocus page does not ask the driver, so it does not count as a success.
    w.PGMain.page = PageControlView::kAutofocusPage;
    SetDriver(w, DriverNow::Answers);
    EXPECT_FALSE(Reports([&] { w.form.Timer1Timer(); }));
    SetDriver(w, DriverNow::Gone);
    w.PGMain.page = PageControlView::kControlPage;
    EXPECT_FALSE(Reports([&] { w.form.Timer1Timer(); }));
}

TEST(RepeatedFailures, HostMovesKeepQuietWhileTheFailureRepeats) {
    FakeWindow w;
    w.Connect();
    SetDriver(w, DriverNow::Gone);
    EXPECT_TRUE(Reports([&] { w.form.HandleFocuserMessage(5, 2000); }));
    EXPECT_FALSE(Reports([&] { w.form.HandleFocuserMessage(6, -30); }));
    EXPECT_FALSE(Reports([&] { w.form.Timer1Timer(); }));
    SetDriver(w, DriverNow::Answers);
    EXPECT_FALSE(Reports([&] { w.form.HandleFocuserMessage(5, 2000); }));
    SetDriver(w, DriverNow::Gone);
    EXPECT_TRUE(Reports([&] { w.form.HandleFocuserMessage(5, 2000); }));
}

TEST(DeadDriver, DisconnectAlwaysEndsDisconnected) {
    struct Case {
        const char* name;
        bool tickSawItFirst;  // a timer tick already showed the driver's failure
        DriverNow atUnlink;
        bool reports;
    };
    const Case cases[] = {
        {"process gone, nothing shown yet", false, DriverNow::Gone, true},
        {"process gone, shown by a tick", true, DriverNow::Gone, false},
        {"gone with another status, shown by a tick", true, DriverNow::GoneOtherStatus, false},
        {"driver's own unlink error", false, DriverNow::OwnError, true},
    };
    for (const auto& c : cases) {
        FakeWindow w;
        w.Connect();
        if (c.tickSawItFirst) {
            SetDriver(w, DriverNow::Gone);
            EXPECT_TRUE(Reports([&] { w.form.Timer1Timer(); })) << c.name;
        }
        SetDriver(w, c.atUnlink);
        if (c.atUnlink == DriverNow::OwnError) w.driver.failAt = {{"Link", 1}};
        w.driver.calls.clear();
        EXPECT_EQ(Reports([&] { w.form.ButDisconnectClick(); }), c.reports) << c.name;
        EXPECT_EQ(w.driver.MembersCalled("driver"), std::vector<std::string>{"put Link(false)"}) << c.name;
        EXPECT_FALSE(w.form.HasDriver()) << c.name;
        EXPECT_TRUE(w.ButConnect.Enabled()) << c.name;
        EXPECT_FALSE(w.ButDisconnect.Enabled()) << c.name;
        EXPECT_FALSE(w.ButStart.Enabled()) << c.name;
        EXPECT_FALSE(w.Timer1.Enabled()) << c.name;
        EXPECT_EQ(w.LabPos.Text(), "00000") << c.name;
        EXPECT_EQ(w.LabStatus.Text(), "Disconnected") << c.name;

        // Connect makes a new driver object, and its failures are news again.
        SetDriver(w, DriverNow::Answers);
        const size_t created = w.factory.created.size();
        w.form.ButConnectClick();
        EXPECT_TRUE(w.form.HasDriver()) << c.name;
        EXPECT_EQ(w.factory.created.size(), created + 2) << c.name;  // the chooser and the driver
        EXPECT_FALSE(w.ButConnect.Enabled()) << c.name;
        SetDriver(w, DriverNow::Gone);
        EXPECT_TRUE(Reports([&] { w.form.Timer1Timer(); })) << c.name;
    }
}

TEST(DeadDriver, ClosingTheWindowReportsAtMostOnce) {
    for (bool tickSawItFirst : {false, true}) {
        FakeWindow w;
        w.Connect();
        SetDriver(w, DriverNow::Gone);
        if (tickSawItFirst) {
            EXPECT_TRUE(Reports([&] { w.form.Timer1Timer(); }));
        }
        EXPECT_EQ(Reports([&] { w.form.FormClose(); }), !tickSawItFirst);
        EXPECT_FALSE(w.form.HasDriver());
    }
}

TEST(DeadDriver, RunEndsLikeAFailedMoveAndTheControllerStaysUsable) {
    FakeWindow w;
    w.EdSteps.value = 5;
    w.EdExpo.value = 1;
    w.Connect();
    w.form.HandleFocuserMessage(3, 0x1234);
    w.form.HandleFocuserMessage(2, 22);
    ASSERT_TRUE(w.form.IsRunning());
    const auto value = [&](int32_t v) {
        w.platform.now += 300;
        return Reports([&] { w.form.HandleFocuserMessage(0, v); });
    };
    EXPECT_FALSE(value(100));
    SetDriver(w, DriverNow::Gone);
    // The value that completes a position reaches the dead driver: one report.
    EXPECT_TRUE(value(200));
    EXPECT_EQ(w.Memo1.lines.size(), 1u);
    // The host goes on sending; the same failure stays quiet.
    for (int32_t v : {300, 400, 500}) EXPECT_FALSE(value(v)) << v;
    EXPECT_TRUE(w.form.IsRunning());  // as after a failed step move
    EXPECT_TRUE(w.platform.posts.empty());

    EXPECT_FALSE(Reports([&] { w.form.ButDisconnectClick(); }));
    EXPECT_TRUE(w.ButConnect.Enabled());
    EXPECT_FALSE(w.ButStop.Enabled());
    SetDriver(w, DriverNow::Answers);
    w.form.ButConnectClick();
    EXPECT_TRUE(w.form.IsConnected());
    EXPECT_TRUE(w.ButStart.Enabled());
    EXPECT_FALSE(w.form.IsRunning());
}

}  // namespace
}  // namespace qm::test
