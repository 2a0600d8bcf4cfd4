#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "record/run_options.h"
#include "checker/options_report.h"

namespace qm {
namespace {

// The lines the reader refused, as it reports them.
struct Rejections : RejectedOptionLines {
    struct Line {
        int number;
        std::string text;
        OptionLineFault fault;
    };
    std::vector<Line> lines;
    void Add(int lineNumber, std::string_view text, OptionLineFault fault) override {
        lines.push_back({lineNumber, std::string(text), fault});
    }
};

struct OptionsCase {
    const char* text;
    BestFocusMethod bestFocus;
    bool curveCheck;
    bool runRecord;
    size_t rejected;
};

TEST(RunOptions, ParsesKeysAndValuesAndKeepsDefaultsForWhatItCannotUse) {
    const auto three = BestFocusMethod::ThreePoint, fit = BestFocusMethod::Fit;
    const OptionsCase cases[] = {
        {"", three, false, false, 0},
        {"best-focus = fit\ncurve-check = on\nrun-record = on\n", fit, true, true, 0},
        {"  BEST-Focus=FIT \r\n\tCurve-Check\t=\tOn\r\n", fit, true, false, 0},
        {"; best-focus = fit\n\n   \n;curve-check = on", three, false, false, 0},
        {"best-focus = fit\nbest-focus = three-point", three, false, false, 0},
        {"best-focus = fit\nbest-focus = parabola", fit, false, false, 1},
        {"best-focus fit\n= on\ncurve-check = yes\nrun-record = on off\nfocus = fit", three, false, false, 5},
        {"curve-check = on ; comment", three, false, false, 1},
        {"run-record = on\nbest-focus = three point\n", three, false, true, 1},
    };
    for (const OptionsCase& c : cases) {
        SCOPED_TRACE(c.text);
        Rejections rejected;
        const RunOptions options = ParseRunOptions(c.text, &rejected);
        EXPECT_EQ(options.bestFocus, c.bestFocus);
        EXPECT_EQ(options.curveCheck, c.curveCheck);
        EXPECT_EQ(options.runRecord, c.runRecord);
        EXPECT_EQ(rejected.lines.size(), c.rejected);
        // Without a list of rejected lines the options come out the same.
        const RunOptions unlisted = ParseRunOptions(c.text);
        EXPECT_EQ(unlisted.bestFocus, c.bestFocus);
        EXPECT_EQ(unlisted.curveCheck, c.curveCheck);
        EXPECT_EQ(unlisted.runRecord, c.runRecord);
    }
}

TEST(RunOptions, RejectedLinesCarryTheirNumberTextAndReason) {
    Rejections rejected;
    const RunOptions options = ParseRunOptions("; note\ncurve-check = on\n  colour = red  \nbest-focus=x\n", &rejected);
    ASSERT_EQ(rejected.lines.size(), 2u);
    EXPECT_EQ(rejected.lines[0].number, 3);
    EXPECT_EQ(rejected.lines[0].text, "colour = red");
    EXPECT_EQ(rejected.lines[0].fault, OptionLineFault::UnknownKey);
    EXPECT_EQ(rejected.lines[1].number, 4);
    EXPECT_EQ(rejected.lines[1].fault, OptionLineFault::UnknownBestFocus);
    EXPECT_TRUE(options.curveCheck);
}

TEST(RunOptions, DriverCheckReportShowsOptionsInUseAndRejectedLines) {
    const auto missing = check::OptionsReportLines("C:\\q\\autofocus-options.ini", std::nullopt);
    const std::vector<std::string> expectedMissing{
        "Options file: C:\\q\\autofocus-options.ini",
        "  not found or unreadable: every option has its default",
        "Options in use:",
        "  best-focus = three-point",
        "  curve-check = off",
        "  run-record = off",
        "No line rejected."};
    EXPECT_EQ(missing, expectedMissing);
    // One line of each kind the program ignores, each with its own reason.
    const auto read = check::OptionsReportLines(
        "o.ini", std::string("best-focus = fit\nspeed = 3\n\tbest-focus = near \ncurve-check = yes\n"
                             "run-record = always\n = on\nrun-record on\n"));
    const std::vector<std::string> expectedRead{
        "Options file: o.ini",
        "Options in use:",
        "  best-focus = fit",
        "  curve-check = off",
        "  run-record = off",
        "Rejected lines (the option keeps its value):",
        "  line 2: \"speed = 3\": unknown key",
        "  line 3: \"best-focus = near\": unknown value for best-focus (three-point or fit)",
        "  line 4: \"curve-check = yes\": unknown value for curve-check (off or on)",
        "  line 5: \"run-record = always\": unknown value for run-record (off or on)",
        "  line 6: \"= on\": no key before '='",
        "  line 7: \"run-record on\": no '=' between a key and a value"};
    EXPECT_EQ(read, expectedRead);
}

}  // namespace
}  // namespace qm
