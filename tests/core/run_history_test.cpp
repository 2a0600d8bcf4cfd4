// The history of the recorded runs: the temperature slope and its standard error, the
// reading of the record's times, and the plots' fragment (what it plots, what it leaves
// out, and that no text or number can break it).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "record/run_history.h"

namespace qm::test {
namespace {

HistoryRun PastRun(std::optional<int32_t> result,
                   std::optional<double> start,
                   std::optional<double> end,
                   std::string time = "2026-12-08T11:40:05Z",
                   RunOutcome outcome = RunOutcome::Focus) {
    return {std::move(time), outcome, result, start, end};
}

// Runs with these results at these temperatures (read alike at start and end), an hour apart.
std::vector<HistoryRun> RunsAt(const std::vector<std::pair<double, int32_t>>& points) {
    std::vector<HistoryRun> runs;
    for (size_t i = 0; i < points.size(); ++i) {
        std::string time = "2026-12-08T10:00:00Z";
        time[12] = static_cast<char>('0' + i % 10);
        runs.push_back(PastRun(points[i].second, points[i].first, points[i].first, time));
    }
    return runs;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(RunHistory, SlopeAndItsStandardError) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        std::vector<HistoryRun> runs;
        size_t used;
        double slope;
        double error;
    };
    const std::vector<Case> cases = {
        {"exact line", RunsAt({{0, 1000}, {10, 900}, {20, 800}}), 3, -10, 0},
        // x = 1..5, y = 2, 4, 5, 4, 5: b = 0.6, residuals 2.4, s^2 = 0.8, Sxx = 10.
        {"textbook", RunsAt({{1, 2}, {2, 4}, {3, 5}, {4, 4}, {5, 5}}), 5, 0.6, std::sqrt(0.08)},
        {"start and end averaged, or the one read",
         {PastRun(1000, 9, 11), PastRun(900, std::nullopt, 20), PastRun(800, 30, std::nullopt)},
         3,
         -10,
         0},
        {"runs without a focus left out",
         {PastRun(1000, 0, 0), PastRun(std::nullopt, 5, 5),
          PastRun(5000, 5, 5, "2026-12-08T11:40:05Z", RunOutcome::Error), PastRun(900, 10, 10), PastRun(800, 20, 20)},
         3,
         -10,
         0},
        {"readings that are no temperature left out",
         {PastRun(1000, 0, -999), PastRun(900, nan, 10), PastRun(800, 20, std::numeric_limits<double>::infinity()),
          PastRun(1, -300, 2000)},
         3,
         -10,
         0},
        // Two runs give a line but no error estimate (no degree of freedom left).
        {"two runs", RunsAt({{0, 100}, {1, 103}}), 2, 3, 0},
    };
    for (const Case& c : cases) {
        const TemperatureSlope line = FitTemperatureSlope(c.runs);
        EXPECT_EQ(line.runs, c.used) << c.name;
        EXPECT_TRUE(line.temperaturesVary) << c.name;
        EXPECT_NEAR(line.slope, c.slope, 1e-9) << c.name;
        EXPECT_NEAR(line.slopeError, c.error, 1e-9) << c.name;
    }
    // Temperatures all alike, as three reads of 0.1 are (their mean is not 0.1 exactly).
    const TemperatureSlope flat = FitTemperatureSlope(RunsAt({{0.1, 1000}, {0.1, 900}, {0.1, 950}}));
    EXPECT_EQ(flat.runs, 3u);
    EXPECT_FALSE(flat.temperaturesVary);
    EXPECT_EQ(flat.slope, 0);
}

TEST(RunHistory, ReadsTheRecordsTimes) {
    struct Case {
        const char* text;
        std::optional<int64_t> seconds;
    };
    const std::vector<Case> cases = {
        {"1970-01-01T00:00:00Z", 0},
        {"2026-12-08T11:40:05Z", 1796730005},
        {"2024-02-29T23:59:59Z", 1709251199},
        {"1969-12-31T23:59:59Z", -1},
        {"0001-01-01T00:00:00Z", -62135596800},
        {"9999-12-31T23:59:59Z", 253402300799},
        {"1600-02-29T00:00:00Z", -11670998400},  // a leap day of a leap century
        {"2000-02-29T12:00:00Z", 951825600},
        {"1900-02-29T12:00:00Z", std::nullopt},  // a century without one
        {"2026-02-29T10:00:00Z", std::nullopt},
        {"2026-04-31T10:00:00Z", std::nullopt},
        {"2026-13-01T10:00:00Z", std::nullopt},
        {"2026-00-01T10:00:00Z", std::nullopt},
        {"2026-12-00T10:00:00Z", std::nullopt},
        {"2026-12-08T24:00:00Z", std::nullopt},
        {"2026-12-08T11:60:00Z", std::nullopt},
        {"2026-12-08T11:40:60Z", std::nullopt},
        {"2026-12-08 11:40:05Z", std::nullopt},
        {"2026-12-08T11:40:05", std::nullopt},
        {"2026-12-08T11:40:05Z ", std::nullopt},
        {"2026-12-08T11:4a:05Z", std::nullopt},
        {"+026-12-08T11:40:05Z", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadUtcTime(c.text), c.seconds) << c.text;
}

// Every number in a coordinate attribute of the fragment reads as a finite number.
void ExpectOnlyFiniteCoordinates(const std::string& html, const char* name) {
    for (const char* attribute : {" x=\"", " y=\"", " x1=\"", " y1=\"", " x2=\"", " y2=\"", " cx=\"", " cy=\"",
                                  " width=\"", " height=\"", " points=\""}) {
        const std::string key = attribute;
        for (size_t at = html.find(key); at != std::string::npos; at = html.find(key, at + 1)) {
            const size_t begin = at + key.size(), end = html.find('"', begin);
            const std::string value = html.substr(begin, end - begin);
            ASSERT_FALSE(value.empty()) << name << ":" << key;
            for (size_t i = 0; i < value.size();) {
                const char* text = value.c_str() + i;
                char* after = nullptr;
                const double number = std::strtod(text, &after);
                ASSERT_NE(after, text) << name << ": " << key << value;
                ASSERT_TRUE(std::isfinite(number)) << name << ": " << key << value;
                i = static_cast<size_t>(after - value.c_str());
                while (i < value.size() && (value[i] == ',' || value[i] == ' '))
                    ++i;
            }
        }
    }
}

// The x coordinates of the time plot's line, in the order it joins them.
std::vector<double> TimeLineXs(const std::string& html) {
    std::vector<double> xs;
    const size_t at = html.find("<polyline");
    if (at == std::string::npos)
        return xs;
    const size_t begin = html.find("points=\"", at) + 8, end = html.find('"', begin);
    const std::string points = html.substr(begin, end - begin);
    for (size_t i = 0; i < points.size();) {
        xs.push_back(std::strtod(points.c_str() + i, nullptr));
        i = points.find(' ', i);
        if (i == std::string::npos)
            break;
        ++i;
    }
    return xs;
}

TEST(RunHistory, Fragment) {
    const std::string resultDot = std::string("fill=\"") + kHistoryResultColour + "\"";
    const std::string temperatureDot = std::string("fill=\"") + kHistoryTemperatureColour + "\"";
    const std::string trend = std::string("stroke=\"") + kHistoryTrendColour + "\"";
    const double tiny = 1e-13;
    std::vector<HistoryRun> many;
    for (int i = 0; i < 60; ++i)
        many.push_back(PastRun(1000 + i, std::nullopt, std::nullopt));
    struct Case {
        const char* name;
        std::vector<HistoryRun> runs;
        size_t plots;     // SVG pictures
        size_t timeDots;  // runs in the time plot
        size_t temperatureDots;
        bool trendLine;
        std::vector<std::string> texts;  // parts the fragment holds
    };
    const std::vector<Case> cases = {
        {"three temperatures",
         RunsAt({{0, 1000}, {10, 900}, {20, 800}}),
         2,
         3,
         3,
         true,
         {"Temperature slope: -10.00 \xC2\xB1 0.00 steps per \xC2\xB0"
          "C</b> (3 runs)",
          "3 runs with a focus plotted."}},
        {"two temperatures",
         {PastRun(1000, 5, 5), PastRun(900, 6, 6), PastRun(950, std::nullopt, std::nullopt)},
         1,
         3,
         0,
         false,
         {"needs 3 runs with a focus and a temperature (2 so far)"}},
        {"no temperatures",
         {PastRun(1000, std::nullopt, std::nullopt)},
         1,
         1,
         0,
         false,
         {"1 run with a focus plotted."}},
        {"equal temperatures",
         RunsAt({{12.5, 1000}, {12.5, 900}, {12.5, 950}}),
         2,
         3,
         3,
         false,
         {"the temperature did not vary (3 runs at 12.5 \xC2\xB0"
          "C)"}},
        {"runs without a focus left out",
         {PastRun(1000, 1, 1), PastRun(std::nullopt, 2, 2),
          PastRun(700, 3, 3, "2026-12-08T12:00:00Z", RunOutcome::Error), PastRun(900, 4, 4), PastRun(800, 5, 5)},
         2,
         3,
         3,
         true,
         {"3 runs with a focus plotted; 2 runs without a focus left out."}},
        {"unreadable times stay in the temperature plot",
         {PastRun(1000, 1, 1, "yesterday"), PastRun(900, 2, 2, "2026-12-08T25:00:00Z"), PastRun(800, 3, 3)},
         2,
         1,
         3,
         true,
         {"2 runs with an unreadable time left out of the time plot"}},
        {"only unreadable times",
         {PastRun(1000, std::nullopt, std::nullopt, "soon")},
         0,
         0,
         0,
         false,
         {"0 runs with a focus plotted; 1 run with an unreadable time"}},
        {"no focus at all",
         {PastRun(std::nullopt, 1, 1), PastRun(3, 1, 1, "2026-12-08T12:00:00Z", RunOutcome::Stopped)},
         0,
         0,
         0,
         false,
         {"No recorded run found a focus yet.", "2 runs without a focus left out"}},
        {"the newest 50 runs", many, 1, 50, 0, false, {"50 runs with a focus plotted."}},
        {"temperatures barely apart", RunsAt({{20, 1000}, {20 + tiny, 900}, {20 + 2 * tiny, 800}}), 2, 3, 3, true, {}},
        {"results far apart", RunsAt({{-30, INT32_MIN}, {0, 0}, {40, INT32_MAX}}), 2, 3, 3, true, {}},
        {"times far apart",
         {PastRun(1, std::nullopt, std::nullopt, "0001-01-01T00:00:00Z"),
          PastRun(2, std::nullopt, std::nullopt, "9999-12-31T23:59:59Z")},
         1,
         2,
         0,
         false,
         {"0001-01-01"}},
    };
    for (const Case& c : cases) {
        const std::string html = ComposeRunHistory(c.runs);
        EXPECT_EQ(Count(html, "<svg width="), c.plots) << c.name;
        EXPECT_EQ(Count(html, resultDot), c.timeDots) << c.name;
        EXPECT_EQ(Count(html, temperatureDot), c.temperatureDots) << c.name;
        EXPECT_EQ(Count(html, trend), c.trendLine ? 1u : 0u) << c.name;
        for (const std::string& text : c.texts)
            EXPECT_NE(html.find(text), std::string::npos) << c.name << ": " << text << "\n" << html;
        ExpectOnlyFiniteCoordinates(html, c.name);
        EXPECT_EQ(Count(html, "<script"), 0u) << c.name;
        EXPECT_EQ(Count(html, "http"), 0u) << c.name;
        EXPECT_EQ(Count(html, "<section"), 1u) << c.name;
        EXPECT_EQ(Count(html, "</section>"), 1u) << c.name;
    }
    EXPECT_EQ(ComposeRunHistory({}), "");
}

// The line joins the runs in the order of their times, whatever the record's order.
TEST(RunHistory, TimesOutOfOrder) {
    const std::vector<HistoryRun> runs = {
        PastRun(1000, std::nullopt, std::nullopt, "2026-12-08T12:00:00Z"),
        PastRun(1010, std::nullopt, std::nullopt, "2026-12-08T10:00:00Z"),
        PastRun(990, std::nullopt, std::nullopt, "2026-12-09T01:00:00Z"),
        PastRun(1005, std::nullopt, std::nullopt, "2026-12-08T11:00:00Z"),
    };
    const std::string html = ComposeRunHistory(runs);
    const std::vector<double> xs = TimeLineXs(html);
    ASSERT_EQ(xs.size(), 4u);
    for (size_t i = 1; i < xs.size(); ++i)
        EXPECT_LT(xs[i - 1], xs[i]);
    // The night crosses a day: both dates are named under the time ticks.
    EXPECT_NE(html.find(">2026-12-08<"), std::string::npos);
    EXPECT_NE(html.find(">2026-12-09<"), std::string::npos);
}

// Runs of one second are joined in the record's order: the line runs through the first
// listed result before the second.
TEST(RunHistory, RunsOfOneSecondKeepTheRecordsOrder) {
    for (const auto& [first, second] : {std::pair{1000, 1040}, std::pair{1040, 1000}}) {
        const std::vector<HistoryRun> runs = {
            PastRun(1020, std::nullopt, std::nullopt, "2026-12-08T12:00:00Z"),
            PastRun(first, std::nullopt, std::nullopt, "2026-12-08T10:00:00Z"),
            PastRun(second, std::nullopt, std::nullopt, "2026-12-08T10:00:00Z"),
        };
        const std::string html = ComposeRunHistory(runs);
        const size_t points = html.find("points=\"", html.find("<polyline")) + 8;
        // "x,y x,y x,y ": the y of the first two points, in the order they are joined.
        std::vector<double> ys;
        for (size_t comma = html.find(',', points); ys.size() < 2; comma = html.find(',', comma + 1))
            ys.push_back(std::strtod(html.c_str() + comma + 1, nullptr));
        // A larger result stands higher, at a smaller y.
        EXPECT_EQ(ys[0] > ys[1], first < second) << first << " then " << second;
    }
}

// Text from the record is escaped wherever it appears (the tooltips hold the time as recorded).
TEST(RunHistory, TextIsEscaped) {
    const std::string html =
        ComposeRunHistory({PastRun(1000, 1, 1, "<i>\"&'</i>"), PastRun(900, 2, 2), PastRun(800, 3, 3)});
    EXPECT_NE(html.find("&lt;i&gt;&quot;&amp;&#39;&lt;/i&gt;"), std::string::npos);
    EXPECT_EQ(html.find("<i>"), std::string::npos);
}

}  // namespace
}  // namespace qm::test
