// A driver that fails again and again, or whose process has died: which failures
// count as the same, when the timer and the host's focus values keep quiet about them,
// that clicks and host commands show them unless a box showing them is open, and that
// Disconnect always ends disconnected.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <stdexcept>
#include <vector>

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

// The rule on its own: a row meets a failure (recurring: a tick or a focus value; or a
// request), or a driver call succeeds, or a box opens or closes; a meeting row says whether it is shown.
TEST(FailureReporting, RecurringOncePerStreakRequestsUnlessTheirBoxIsOpen) {
    enum class Op { Meet, Succeed, Open, Close };
    constexpr auto Recurring = FailureSource::Recurring;
    constexpr auto Request = FailureSource::Request;
    struct Row {
        Op op;
        FailureSource source;
        const char* failure;  // "x", "y": own driver errors; "gone": the process died
        bool shown;
    };
    const auto identity = [](const char* name) {
        return std::string(name) == "gone" ? FailureIdentity{kServerUnavailable, "The RPC server is unavailable"}
                                           : FailureIdentity{kDriverException, name};
    };
    const std::vector<std::vector<Row>> sequences = {
        // Ticks and focus values: once per streak; a success ends the streak.
        {{Op::Meet, Recurring, "x", true}, {Op::Meet, Recurring, "x", false}, {Op::Meet, Recurring, "x", false},
         {Op::Succeed, Recurring, "", false}, {Op::Meet, Recurring, "x", true}},
        // A different failure is news for them too.
        {{Op::Meet, Recurring, "x", true}, {Op::Meet, Recurring, "y", true}, {Op::Meet, Recurring, "x", true}},
        // Requests: every time while no box is open, whatever a tick showed before.
        {{Op::Meet, Recurring, "x", true}, {Op::Meet, Recurring, "x", false}, {Op::Meet, Request, "x", true},
         {Op::Meet, Request, "x", true}, {Op::Meet, Recurring, "x", false}},
        // While a box shows the failure, neither requests nor ticks open another; after
        // it is closed the next request shows it again, a tick still not.
        {{Op::Open, Request, "x", false}, {Op::Meet, Request, "x", false}, {Op::Meet, Recurring, "x", false},
         {Op::Close, Request, "", false}, {Op::Meet, Request, "x", true}, {Op::Meet, Recurring, "x", false}},
        // A box showing another failure does not hold a new one back.
        {{Op::Open, Request, "x", false}, {Op::Meet, Request, "y", true}, {Op::Meet, Recurring, "gone", true}},
        // Boxes over one another: each one's failure is held back while it is open.
        {{Op::Open, Request, "x", false}, {Op::Open, Request, "gone", false}, {Op::Meet, Request, "x", false},
         {Op::Meet, Request, "gone", false}, {Op::Close, Request, "", false}, {Op::Meet, Request, "gone", true},
         {Op::Meet, Request, "x", false}, {Op::Close, Request, "", false}, {Op::Meet, Request, "x", true}},
    };
    int n = 0;
    for (const auto& sequence : sequences) {
        FailureReporting reporting;
        int step = 0;
        for (const Row& row : sequence) {
            switch (row.op) {
                case Op::Meet:
                    EXPECT_EQ(reporting.ShouldShow(row.source, identity(row.failure)), row.shown)
                        << "sequence " << n << " step " << step;
                    break;
                case Op::Succeed: reporting.EndStreak(); break;
                case Op::Open: reporting.BoxOpened(identity(row.failure)); break;
                case Op::Close: reporting.BoxClosed(); break;
            }
            ++step;
        }
        ++n;
    }
}

// Runs a handler as the window does: an error that escapes it goes to the general
// error report, which the form shows (and knows to be open until it returns).
template <typename Handler>
void Dispatch(FakeWindow& w, Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        w.form.ShowErrorReport(error);
    }
}

// Counts the boxes on the screen at once, and runs `inside` while each box is open
// (as the messages its modal loop dispatches).
struct BoxWatch {
    int open = 0;
    int most = 0;
    std::function<void()> inside;
    explicit BoxWatch(FakeWindow& w) {
        w.platform.onReport = [this](const std::string&) {
            ++open;
            most = std::max(most, open);
            if (inside) inside();
            --open;
        };
    }
};

TEST(RepeatedFailures, HostStartAfterTheTicksShowedTheFailureShowsIt) {
    FakeWindow w;
    w.Connect();
    BoxWatch boxes(w);
    SetDriver(w, DriverNow::OwnError);  // Position fails from now on
    Dispatch(w, [&] { w.form.Timer1Timer(); });
    Dispatch(w, [&] { w.form.Timer1Timer(); });
    ASSERT_EQ(w.platform.reports, std::vector<std::string>{"Position failed in the driver."});
    w.PGMain.page = PageControlView::kAutofocusPage;
    Dispatch(w, [&] { w.form.PGMainChange(); });
    Dispatch(w, [&] { w.form.HandleFocuserMessage(2, 22); });
    EXPECT_EQ(w.platform.reports.size(), 2u);
    // Left starting, as after any failure at Start.
    EXPECT_FALSE(w.ButStart.Enabled());
    EXPECT_FALSE(w.ButStop.Enabled());
    EXPECT_TRUE(w.ButDisconnect.Enabled());
    EXPECT_EQ(boxes.most, 1);
}

TEST(RepeatedFailures, FocusValuesShowAFailureOncePerStreakRequestsEachTime) {
    FakeWindow w;
    w.EdSteps.value = 40;  // the run goes on through every value sent here
    w.EdExpo.value = 1;
    w.Connect();
    w.form.HandleFocuserMessage(2, 22);
    ASSERT_TRUE(w.form.IsRunning());
    BoxWatch boxes(w);
    const auto send = [&](uint64_t code, int32_t v) {
        w.platform.now += 300;
        Dispatch(w, [&] { w.form.HandleFocuserMessage(code, v); });
    };
    const auto value = [&](int32_t v) { send(0, v); };
    const auto failMoves = [&] { w.driver.failAt["Move"] = w.driver.callCount["Move"] + 1; };
    value(100);
    ASSERT_TRUE(w.platform.reports.empty());
    failMoves();
    // While the box is open the host goes on sending: each value meets the failure.
    boxes.inside = [&] {
        for (int32_t v : {300, 400, 500}) value(v);
    };
    value(200);
    EXPECT_EQ(w.platform.reports.size(), 1u);
    EXPECT_EQ(boxes.most, 1);
    // After the box is closed the values go on meeting the same failure: no new box.
    boxes.inside = nullptr;
    value(600);
    value(700);
    EXPECT_EQ(w.platform.reports.size(), 1u);
    EXPECT_TRUE(w.form.IsRunning());
    // A move the host asks for is a request: it shows the failure it meets.
    send(6, -10);
    EXPECT_EQ(w.platform.reports.size(), 2u);
    // A value whose move works ends the streak; the next failing value shows it again.
    w.driver.failAt.clear();
    value(800);
    failMoves();
    value(900);
    EXPECT_EQ(w.platform.reports.size(), 3u);
    // A different failure inside the box of one is shown over it.
    w.driver.failAt.clear();
    value(1000);
    failMoves();
    bool otherFailureSent = false;
    boxes.inside = [&] {
        if (std::exchange(otherFailureSent, true)) return;
        SetDriver(w, DriverNow::Gone);
        value(1100);
    };
    value(1200);
    EXPECT_EQ(w.platform.reports.size(), 5u);
    EXPECT_EQ(boxes.most, 2);
    EXPECT_EQ(w.platform.reports.back(), "The RPC server is unavailable.");
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

TEST(RepeatedFailures, HostCommandsReportEachTimeTheTimerOnce) {
    FakeWindow w;
    w.Connect();
    SetDriver(w, DriverNow::Gone);
    EXPECT_TRUE(Reports([&] { w.form.HandleFocuserMessage(5, 2000); }));
    EXPECT_TRUE(Reports([&] { w.form.HandleFocuserMessage(6, -30); }));
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
        {"process gone, shown by a tick", true, DriverNow::Gone, true},
        {"gone with another status, shown by a tick", true, DriverNow::GoneOtherStatus, true},
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

TEST(DeadDriver, ClosingTheWindowReportsOnce) {
    for (bool tickSawItFirst : {false, true}) {
        FakeWindow w;
        w.Connect();
        SetDriver(w, DriverNow::Gone);
        if (tickSawItFirst) {
            EXPECT_TRUE(Reports([&] { w.form.Timer1Timer(); }));
        }
        EXPECT_TRUE(Reports([&] { w.form.FormClose(); })) << tickSawItFirst;
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
    // The value that completes a position reaches the dead driver.
    EXPECT_TRUE(value(200));
    EXPECT_EQ(w.Memo1.lines.size(), 1u);
    // The host goes on sending: the values meet the same failure and show no further box.
    for (int32_t v : {300, 400, 500}) EXPECT_FALSE(value(v)) << v;
    EXPECT_TRUE(w.form.IsRunning());  // as after a failed step move
    EXPECT_TRUE(w.platform.posts.empty());

    EXPECT_TRUE(Reports([&] { w.form.ButDisconnectClick(); }));
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
