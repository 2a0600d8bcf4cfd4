#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "checker/options_report.h"
#include "record/run_options.h"
#include "record/text_encoding.h"

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
    SweepMode sweep = SweepMode::Fixed;
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
        {"Sweep = EXTEND\n", three, false, false, 0, SweepMode::Extend},
        {"sweep = extend\nsweep = fixed\n", three, false, false, 0, SweepMode::Fixed},
        {"sweep = extend\nsweep = extended\nsweep = wide\n", three, false, false, 2, SweepMode::Extend},
    };
    for (const OptionsCase& c : cases) {
        SCOPED_TRACE(c.text);
        Rejections rejected;
        const RunOptions options = ParseRunOptions(c.text, &rejected);
        EXPECT_EQ(options.bestFocus, c.bestFocus);
        EXPECT_EQ(options.curveCheck, c.curveCheck);
        EXPECT_EQ(options.runRecord, c.runRecord);
        EXPECT_EQ(options.sweep, c.sweep);
        // Any option away from its default leaves the standard run.
        EXPECT_EQ(options.AllDefault(),
                  c.bestFocus == three && !c.curveCheck && !c.runRecord && c.sweep == SweepMode::Fixed);
        EXPECT_EQ(rejected.lines.size(), c.rejected);
        // Without a list of rejected lines the options come out the same.
        const RunOptions unlisted = ParseRunOptions(c.text);
        EXPECT_EQ(unlisted.bestFocus, c.bestFocus);
        EXPECT_EQ(unlisted.curveCheck, c.curveCheck);
        EXPECT_EQ(unlisted.runRecord, c.runRecord);
        EXPECT_EQ(unlisted.sweep, c.sweep);
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
        "  sweep = fixed",
        "No line rejected."};
    EXPECT_EQ(missing, expectedMissing);
    // One line of each kind the program ignores, each with its own reason.
    const auto read = check::OptionsReportLines(
        "o.ini", std::string("best-focus = fit\nspeed = 3\n\tbest-focus = near \ncurve-check = yes\n"
                             "run-record = always\n = on\nrun-record on\nsweep = extend\nsweep = far\n"));
    const std::vector<std::string> expectedRead{
        "Options file: o.ini",
        "  encoding: UTF-8 or ANSI, no byte-order mark",
        "Options in use:",
        "  best-focus = fit",
        "  curve-check = off",
        "  run-record = off",
        "  sweep = extend",
        "Rejected lines (the option keeps its value):",
        "  line 2: \"speed = 3\": unknown key",
        "  line 3: \"best-focus = near\": unknown value for best-focus (three-point or fit)",
        "  line 4: \"curve-check = yes\": unknown value for curve-check (off or on)",
        "  line 5: \"run-record = always\": unknown value for run-record (off or on)",
        "  line 6: \"= on\": no key before '='",
        "  line 7: \"run-record on\": no '=' between a key and a value",
        "  line 9: \"sweep = far\": unknown value for sweep (fixed or extend)"};
    EXPECT_EQ(read, expectedRead);
}

// The file as an editor stores the text: UTF-16 with its mark in either byte order.
std::string AsUtf16(std::u16string_view text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

TEST(RunOptions, ReadsTheFileInEveryEncodingAnEditorSavesIt) {
    for (const char16_t* lines : {u"best-focus = fit\ncurve-check = on\n", u"best-focus = fit\r\ncurve-check = on\r\n"}) {
        const std::u16string_view text(lines);
        const std::string plain(text.begin(), text.end());
        const struct {
            std::string bytes;
            TextEncoding encoding;
        } files[] = {
            {plain, TextEncoding::Plain},
            {"\xEF\xBB\xBF" + plain, TextEncoding::Utf8WithMark},
            {AsUtf16(text, false), TextEncoding::Utf16Le},
            {AsUtf16(text, true), TextEncoding::Utf16Be},
        };
        for (const auto& file : files) {
            SCOPED_TRACE(TextEncodingName(file.encoding));
            EXPECT_EQ(DetectTextEncoding(file.bytes), file.encoding);
            Rejections rejected;
            const RunOptions options = ParseRunOptions(file.bytes, &rejected);
            EXPECT_EQ(options.bestFocus, BestFocusMethod::Fit);
            EXPECT_TRUE(options.curveCheck);
            EXPECT_TRUE(rejected.lines.empty());
            const auto report = check::OptionsReportLines("o.ini", file.bytes);
            ASSERT_GE(report.size(), 2u);
            EXPECT_EQ(report[1], std::string("  encoding: ") + TextEncodingName(file.encoding));
        }
    }
}

TEST(TextEncoding, TurnsUtf16IntoUtf8AndMarksWhatIsNoCharacter) {
    const struct {
        std::string bytes;
        std::string utf8;
    } cases[] = {
        {AsUtf16(u"caf\u00e9 \u20ac", false), "caf\xC3\xA9 \xE2\x82\xAC"},
        {AsUtf16(u"\U0001F52D", true), "\xF0\x9F\x94\xAD"},                     // a surrogate pair
        {AsUtf16(std::u16string(1, char16_t(0xD83D)) + u"x", false), "\xEF\xBF\xBDx"},  // unpaired
        {AsUtf16(std::u16string(1, char16_t(0xDC00)), false), "\xEF\xBF\xBD"},          // lone low half
        {"\xFF\xFE" "a", "\xEF\xBF\xBD"},                                            // odd last byte
        {"\xFF\xFE", ""},
        {"\xEF\xBB\xBF", ""},
        {"\xEF\xBB", "\xEF\xBB"},  // too short for a mark: kept as it is
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(TextAsUtf8(c.bytes), c.utf8);
    }
}

}  // namespace
}  // namespace qm
