// Inputs that once made a fuzz target of tests/fuzz fail, replayed through the same
// checks in the normal unit tests (natively, with the sanitizers and under Wine). Each
// row is a file of tests/fuzz/regressions/<target>/ written out as bytes by
// tests/fuzz/regression_literal.py. The faults they found are also pinned down here by
// plain cases that say what went wrong.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/core/form_fakes.h"
#include "tests/fuzz/best_focus_check.h"
#include "tests/fuzz/dispatch_check.h"
#include "tests/fuzz/num_edit_check.h"
#include "tests/fuzz/run_record_check.h"
#include "tests/fuzz/settings_load_check.h"

namespace qm::fuzz {
namespace {

using Check = std::string (*)(const uint8_t*, size_t);

std::string CheckDispatchNoTrace(const uint8_t* data, size_t size) {
    return CheckDispatch(data, size);
}

struct Regression {
    const char* file;
    Check check;
    std::vector<uint8_t> bytes;
};

const Regression kRegressions[] = {
    // Start handled a queued page switch (back to idle) and then switched the run on anyway;
    // a Disconnect on the Control page then left Stop enabled while disconnected.
    {"dispatch/disconnect-after-page-switch-while-starting",
     CheckDispatchNoTrace,
     {0x39, 0x41, 0xed, 0x2a, 0x97, 0x52, 0x2a, 0x20, 0xee, 0xfe, 0x52, 0x52, 0x02, 0xab, 0xaa, 0xaf, 0xa7, 0xab,
      0xa7, 0xab, 0xab, 0xab, 0xab, 0xab, 0xab, 0xab, 0xab, 0xab, 0xab, 0xab, 0xff, 0xdf, 0xff, 0xff, 0xff, 0xff,
      0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xaa, 0xaf, 0xa7,
      0xab, 0xa7, 0xab, 0xab, 0xab, 0xab, 0xab, 0xab, 0xab, 0xab, 0xab, 0xab, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xfb}},
    // A relative focuser far below zero: the fake driver's own step count overflowed.
    {"dispatch/relative-focuser-count-overflow",
     CheckDispatchNoTrace,
     {0x2b, 0x00, 0x00, 0x00, 0x80, 0x13, 0xef, 0x86, 0x94, 0x55, 0x00, 0x00, 0xff, 0xff, 0xff, 0x00, 0x00, 0x57}},
    // 1E-321 with 3 digits: a subnormal has fewer digits than the text, so it writes back
    // as 9.98E-322; stable writing is a property of normal numbers only.
    {"num_edit/subnormal-written-with-3-digits",
     CheckNumEdit,
     {0x09, 0x05, 0x00, 0x0b, 0x0b, 0x0b, 0x0b, 0x5a, 0x95, 0xcb}},
    // The window's seven lines with LF line ends: the save rightly left the file alone,
    // the check wrongly asked for CR LF; it now compares the file line by line.
    {"settings_load/unchanged-file-with-lf-line-ends",
     CheckSettingsLoad,
     {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x02, 0x01, 0x37, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03,
      0x03, 0x31, 0x30, 0x30, 0x00, 0x01, 0x00, 0x00, 0x00, 0x04, 0x01, 0x32, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00,
      0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x31, 0x30, 0x30, 0x33, 0x2d, 0x3e, 0x37,
      0x0a, 0x31, 0x30, 0x30, 0x34, 0x2d, 0x3e, 0x31, 0x30, 0x30, 0x0a, 0x31, 0x30, 0x30, 0x35, 0x2d, 0x3e, 0x32, 0x0a,
      0x31, 0x30, 0x30, 0x31, 0x2d, 0x3e, 0x31, 0x0a, 0x31, 0x30, 0x30, 0x32, 0x2d, 0x3e, 0x30, 0x0a, 0x39, 0x39, 0x39,
      0x30, 0x2d, 0x3e, 0x30, 0x0a, 0x39, 0x39, 0x39, 0x31, 0x2d, 0x3e, 0x41, 0x53, 0x43, 0x4f, 0x4d, 0x2e, 0x53, 0x69,
      0x6d, 0x75, 0x6c, 0x61, 0x74, 0x6f, 0x72, 0x2e, 0x46, 0x6f, 0x63, 0x75, 0x73, 0x65, 0x72, 0x0a}},
    // The window's lines with LF line ends and one broken line, saved in place the former
    // way (the new text over the old, then cut) and stopped part way: the file read as
    // neither the old settings nor the new ones.
    {"settings_load/in-place-write-stopped-part-way",
     CheckSettingsLoad,
     {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x02, 0x01, 0x37, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03,
      0x03, 0x31, 0x30, 0x30, 0x00, 0x01, 0x00, 0x00, 0x00, 0x04, 0x01, 0x32, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00,
      0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x31, 0x30, 0x30, 0x33, 0x2d, 0x3e, 0x37,
      0x0a, 0x31, 0x30, 0x30, 0x34, 0x2d, 0x3e, 0x31, 0x30, 0x30, 0x0a, 0x31, 0x30, 0x30, 0x35, 0x2d, 0x3e, 0x32, 0x0a,
      0x31, 0x30, 0x30, 0x31, 0x2d, 0x3e, 0x31, 0x0a, 0x31, 0x30, 0x30, 0x32, 0x2d, 0x3e, 0x30, 0x0a, 0x39, 0x39, 0x39,
      0x30, 0x22, 0x3e, 0x30, 0x0a, 0x39, 0x39, 0x39, 0x31, 0x2d, 0x3e, 0x41, 0x53, 0x43, 0x4f, 0x4d, 0x2e, 0x53, 0x69,
      0x6d, 0x75, 0x6c, 0x61, 0x74, 0x6f, 0x72, 0x2e, 0x46, 0x6f, 0x63, 0x75, 0x73, 0x65, 0x72, 0x0a}},
    // A line of a later format with a blank after its object read as a record, and as
    // one still with the blank taken off.
    {"run_record_file/later-format-with-blank-after",
     CheckRunRecordFile,
     {0x05, 0x7b, 0x22, 0x66, 0x6f, 0x72, 0x6d, 0x61, 0x74, 0x22, 0x3a, 0x32, 0x7d, 0x20, 0x0a}},
};

TEST(FuzzRegressions, EveryKeptInputPassesItsCheck) {
    for (const Regression& r : kRegressions) {
        SCOPED_TRACE(r.file);
        EXPECT_EQ(r.check(r.bytes.data(), r.bytes.size()), "");
    }
}

TEST(FuzzRegressions, EmptyInputPassesEveryCheck) {
    const uint8_t none = 0;
    EXPECT_EQ(CheckSettingsLoad(&none, 0), "");
    EXPECT_EQ(CheckNumEdit(&none, 0), "");
    EXPECT_EQ(CheckBestFocus(&none, 0), "");
    EXPECT_EQ(CheckDispatch(&none, 0), "");
    EXPECT_EQ(CheckRunOptions(&none, 0), "");
    EXPECT_EQ(CheckRunRecordFile(&none, 0), "");
    EXPECT_EQ(CheckRunPage(&none, 0), "");
}

// The record's checks on the inputs that once broke their own invariants (the code was
// right, the check too strict), in plain form: a line that ends in two CRs keeps the
// first (tests/fuzz/regressions/run_record_file/line-ending-in-two-crs), and a text
// with a UTF-8 mark keeps bytes that are not UTF-8.
TEST(FuzzRegressions, RecordChecksTakeWhatTheProgramTakes) {
    const auto check = [](std::string (*f)(const uint8_t*, size_t), const std::string& input) {
        return f(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    };
    EXPECT_EQ(check(CheckRunRecordFile, "\x02{\"time\"\r\r\nx"), "");
    EXPECT_EQ(check(CheckRunOptions, "\xef\xbb\xbfrun-r/ecor\xd3" "d = on\r\n"), "");
    // Record text with markup in it makes a page without it.
    RunRecord r;
    r.driverId = "<script>";
    // The leading zero byte (no round trip first) as a byte of its own: "\x00" + text would
    // be the text alone.
    EXPECT_EQ(check(CheckRunPage, std::string(1, '\0') + FormatRunRecordLine(r) + "\n"), "");
}

}  // namespace
}  // namespace qm::fuzz

namespace qm::test {
namespace {

// The user clicks Start and, while the focuser makes its first move, switches to the
// Control page and clicks Disconnect there; the run had been switched on after the page
// switch. Disconnecting must leave the Disconnected state, Stop included.
TEST(FuzzRegressions, DisconnectAfterAPageSwitchDuringStartTurnsStopOff) {
    FakeWindow w;
    w.form.FormCreate();
    w.Connect();
    w.PGMain.page = PageControlView::kAutofocusPage;
    w.platform.onProcessMessages = [&] {
        w.PGMain.page = PageControlView::kControlPage;
        w.form.PGMainChange();
    };
    w.form.ButStartClick();
    w.form.ButDisconnectClick();
    EXPECT_TRUE(w.ButConnect.Enabled());
    EXPECT_FALSE(w.ButDisconnect.Enabled());
    EXPECT_FALSE(w.ButStart.Enabled());
    EXPECT_FALSE(w.ButStop.Enabled());
    EXPECT_FALSE(w.form.IsRunning());
}

// A relative focuser's count in the fake driver wraps instead of overflowing.
TEST(FuzzRegressions, RelativeFakeFocuserCountWraps) {
    FakeWindow w;
    w.driver.absolute = false;
    w.driver.position = -2147483647 - 1;
    w.form.FormCreate();
    w.Connect();
    w.form.HandleFocuserMessage(6, -300);
    EXPECT_EQ(w.driver.moves, std::vector<int32_t>{-300});
    EXPECT_EQ(w.form.SoftPosition(), 9700);
}

}  // namespace
}  // namespace qm::test
