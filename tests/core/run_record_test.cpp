// The run record's JSON line, its file trimming, the page of the last runs and the
// writer of both files over in-memory files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>
#include <tuple>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "record/recorded_run.h"
#include "record/run_page.h"
#include "record/run_record_file.h"
#include "record/run_record.h"
#include "record/run_recorder.h"

namespace qm::test {
namespace {

RunRecord FocusRecord() {
    RunRecord r;
    r.timeUtc = "2026-12-08T11:40:05Z";
    r.driverId = "QmSim.Focuser";
    r.steps = 3;
    r.increment = 100;
    r.exposuresPerStep = 2;
    r.points = {{900, 40, {40, 20}}, {1000, 50, {-3, 50}}, {1100, 45, {45, 45}}};
    RunVerdict v;
    v.threePoint = 1026;
    v.fitConverged = true;
    v.fitPeak = 1012.4;
    v.fitQuality = 0.987;
    // A fitted Lorentzian (index 1) of height 50 and half width one increment, peaking
    // at 1000: (900, 25), (1000, 50) and (1100, 25), drawn with those three points.
    v.fitCurvePoints = 3;
    v.rowOrigin = 900;
    v.rowUnit = 100;
    v.rowHighest = 2;
    v.fit.peak = 1;
    v.fit.height = 50;
    v.fit.index = 1;
    v.checkPassed = false;
    v.checkReason = "too flat";
    r.verdict = v;
    r.movedTo = 1026;
    r.outcome = RunOutcome::Focus;
    r.durationMs = 4294967295u;
    return r;
}

RunRecord StoppedRecord() {
    RunRecord r;
    r.timeUtc = "2026-12-08T11:41:00Z";
    r.driverId = "";
    r.steps = 7;
    r.increment = 1;
    r.exposuresPerStep = 9;
    r.points = {{-5, 0, {0}}};
    r.pendingValues = {7, 8};
    r.outcome = RunOutcome::Stopped;
    r.durationMs = 12;
    return r;
}

TEST(RunRecordLine, HoldsEveryField) {
    const std::string line = FormatRunRecordLine(FocusRecord());
    for (const char* field :
         {"\"time\":\"2026-12-08T11:40:05Z\"", "\"driver\":\"QmSim.Focuser\"", "\"steps\":3", "\"increment\":100",
          "\"exposuresPerStep\":2", "{\"position\":1000,\"value\":50,\"values\":[-3,50]}", "\"threePoint\":1026",
          "\"converged\":true", "\"peak\":1012.4", "\"quality\":0.987", "\"curve\":[[900,25],",
          "\"check\":{\"passed\":false,\"reason\":\"too flat\"}", "\"result\":1026", "\"outcome\":\"focus\"",
          "\"durationMs\":4294967295"}) {
        EXPECT_NE(line.find(field), std::string::npos) << field << " missing from " << line;
    }
    EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST(RunRecordLine, StoppedRunHasNoVerdictAndNoResult) {
    const std::string line = FormatRunRecordLine(StoppedRecord());
    for (const char* field : {"\"threePoint\":null", "\"fit\":null", "\"check\":null", "\"result\":null",
                              "\"outcome\":\"stopped\"", "\"pendingValues\":[7,8]"}) {
        EXPECT_NE(line.find(field), std::string::npos) << field << " missing from " << line;
    }
}

TEST(RunRecordLine, WholeLines) {
    RunRecord unconverged = FocusRecord();
    unconverged.verdict->fitConverged = false;
    unconverged.verdict->fitPeak = std::nan("");
    unconverged.verdict->fitQuality = 1;  // not written without a fit
    unconverged.verdict->fitCurvePoints = 0;
    unconverged.verdict->threePoint = 0;
    unconverged.verdict->checkPassed = true;
    unconverged.verdict->checkReason = "";
    unconverged.movedTo.reset();
    unconverged.outcome = RunOutcome::Error;
    unconverged.points.clear();
    RunRecord dropped = FocusRecord();
    dropped.verdict->droppedPosition = 1100;
    dropped.verdict->fitCurvePoints = 0;
    dropped.temperatureAtStart = -3.25;
    dropped.temperatureAtEnd = 12.0;
    struct Case {
        RunRecord record;
        std::string line;
    };
    const std::vector<Case> cases = {
        {FocusRecord(),
         "{\"time\":\"2026-12-08T11:40:05Z\",\"driver\":\"QmSim.Focuser\",\"steps\":3,\"increment\":100,"
         "\"exposuresPerStep\":2,\"points\":[{\"position\":900,\"value\":40,\"values\":[40,20]},"
         "{\"position\":1000,\"value\":50,\"values\":[-3,50]},{\"position\":1100,\"value\":45,\"values\":[45,45]}],"
         "\"pendingValues\":[],\"threePoint\":1026,\"fit\":{\"converged\":true,\"peak\":1012.4,\"quality\":0.987,"
         "\"curve\":[[900,25],[1000,50],[1100,25]]},\"check\":{\"passed\":false,\"reason\":\"too flat\"},"
         "\"result\":1026,\"outcome\":\"focus\",\"durationMs\":4294967295,\"temperatureStart\":null,\"temperatureEnd\":null}"},
        {StoppedRecord(),
         "{\"time\":\"2026-12-08T11:41:00Z\",\"driver\":\"\",\"steps\":7,\"increment\":1,\"exposuresPerStep\":9,"
         "\"points\":[{\"position\":-5,\"value\":0,\"values\":[0]}],\"pendingValues\":[7,8],\"threePoint\":null,"
         "\"fit\":null,\"check\":null,\"result\":null,\"outcome\":\"stopped\",\"durationMs\":12,\"temperatureStart\":null,\"temperatureEnd\":null}"},
        {unconverged,
         "{\"time\":\"2026-12-08T11:40:05Z\",\"driver\":\"QmSim.Focuser\",\"steps\":3,\"increment\":100,"
         "\"exposuresPerStep\":2,\"points\":[],\"pendingValues\":[],\"threePoint\":0,\"fit\":{\"converged\":false,"
         "\"peak\":null,\"quality\":null,\"curve\":[]},\"check\":{\"passed\":true,\"reason\":\"\"},\"result\":null,"
         "\"outcome\":\"error\",\"durationMs\":4294967295,\"temperatureStart\":null,\"temperatureEnd\":null}"},
        // A line left out of the fit is named beside the fit's quality.
        {dropped,
         "{\"time\":\"2026-12-08T11:40:05Z\",\"driver\":\"QmSim.Focuser\",\"steps\":3,\"increment\":100,"
         "\"exposuresPerStep\":2,\"points\":[{\"position\":900,\"value\":40,\"values\":[40,20]},"
         "{\"position\":1000,\"value\":50,\"values\":[-3,50]},{\"position\":1100,\"value\":45,\"values\":[45,45]}],"
         "\"pendingValues\":[],\"threePoint\":1026,\"fit\":{\"converged\":true,\"peak\":1012.4,\"quality\":0.987,"
         "\"dropped\":1100,\"curve\":[]},\"check\":{\"passed\":false,\"reason\":\"too flat\"},"
         "\"result\":1026,\"outcome\":\"focus\",\"durationMs\":4294967295,\"temperatureStart\":-3.25,\"temperatureEnd\":12}"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatRunRecordLine(c.record), c.line);
}

TEST(RunRecordLine, EscapesTextSoTheLineStaysJson) {
    struct Case {
        std::string text;
        std::string json;
    };
    const std::vector<Case> cases = {
        {"plain", "\"plain\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\drivers\\x", "\"C:\\\\drivers\\\\x\""},
        {"two\r\nlines\tand tab", "\"two\\r\\nlines\\tand tab\""},
        {std::string("nul\0bell\x07", 9), "\"nul\\u0000bell\\u0007\""},
        {"\x7f", "\"\\u007f\""},
        {"caf\xc3\xa9", "\"caf\xc3\xa9\""},             // valid UTF-8 stays as it is
        {"caf\xe9", "\"caf\\u00e9\""},                  // a code-page byte becomes its Latin-1 escape
        {"\xc3", "\"\\u00c3\""},                        // a sequence cut short
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},  // an encoded surrogate is not UTF-8
        {"</script>", "\"</script>\""},
    };
    for (const Case& c : cases) {
        RunRecord r = StoppedRecord();
        r.driverId = c.text;
        const std::string line = FormatRunRecordLine(r);
        EXPECT_NE(line.find("\"driver\":" + c.json + ","), std::string::npos) << line;
    }
}

TEST(RunRecordLine, UtcTimeIsIso8601) {
    // Windows file times: 100-nanosecond intervals since 1601-01-01.
    const struct {
        uint64_t fileTime;
        const char* text;
    } cases[] = {
        {0, "1601-01-01T00:00:00Z"},
        {9999999, "1601-01-01T00:00:00Z"},
        {116444736000000000, "1970-01-01T00:00:00Z"},
        {94405823990000000, "1900-02-28T23:59:59Z"},  // 1900 has no leap day
        {94405824000000000, "1900-03-01T00:00:00Z"},
        {125963012960000000, "2000-02-29T12:34:56Z"},  // 2000 has one
        {134412255090000000, "2026-12-08T17:45:09Z"},
        {157520160000000000, "2100-03-01T00:00:00Z"},
        {2650467743990000000, "9999-12-31T23:59:59Z"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatUtcTime(c.fileTime), c.text) << c.fileTime;
}

// Every day from 1601 to 2400 against a calendar counted day by day.
TEST(RunRecordLine, UtcTimeCountsEveryDay) {
    int year = 1601, month = 1, day = 1;
    for (uint64_t days = 0; year <= 2400; ++days) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%04d-%02d-%02dT00:00:00Z", year, month, day);
        ASSERT_EQ(FormatUtcTime(days * 86400 * 10000000), expected);
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        const int length[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        if (++day > length[month - 1]) day = 1, ++month;
        if (month > 12) month = 1, ++year;
    }
}

std::vector<RunRecord> Numbered(size_t count) {
    std::vector<RunRecord> records;
    for (size_t i = 0; i < count; ++i) {
        RunRecord r = FocusRecord();
        r.driverId = "Driver.N" + std::to_string(i) + ".";
        records.push_back(r);
    }
    return records;
}

// The section of `record` on a page, markers included.
std::string SectionOf(const RunRecord& record) {
    const std::string page = ComposeRunPage({RecordedRunOf(record)});
    const size_t begin = page.find(kRunSectionBegin);
    const size_t end = page.find(kRunSectionEnd);
    return page.substr(begin, end + std::string(kRunSectionEnd).size() - begin);
}

// The record file of `records`, given oldest first.
std::string RecordLinesOf(const std::vector<RunRecord>& records) {
    std::string text;
    for (const RunRecord& r : records)
        text += FormatRunRecordLine(r) + "\n";
    return text;
}

// The page of `records`, given oldest first, as the record file holds them.
std::string RenderRunPage(const std::vector<RunRecord>& records) {
    std::vector<RecordedRun> newestFirst;
    for (size_t i = records.size(); i-- > 0;)
        newestFirst.push_back(RecordedRunOf(records[i]));
    return ComposeRunPage(newestFirst);
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

std::string Lower(std::string text) {
    for (char& ch : text)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return text;
}

TEST(RunPage, ShowsTheLastFiftyNewestFirst) {
    const std::string page = RenderRunPage(Numbered(60));
    size_t last = 0;
    for (int i = 59; i >= 10; --i) {
        const size_t at = page.find("Driver.N" + std::to_string(i) + ".");
        ASSERT_NE(at, std::string::npos) << i;
        EXPECT_GT(at, last) << i;
        last = at;
    }
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(page.find("Driver.N" + std::to_string(i) + "."), std::string::npos) << i;
}

TEST(RunPage, IsSelfContained) {
    std::vector<RunRecord> records = Numbered(3);
    records.push_back(StoppedRecord());
    const std::string page = Lower(RenderRunPage(records));
    for (const char* banned :
         {"<script", "http:", "https:", "file:", "src=", "href=", "url(", "@import", "<img", "<link", "<iframe"})
        EXPECT_EQ(page.find(banned), std::string::npos) << banned;
    // One plot per run and the history's time plot.
    EXPECT_EQ(Count(page, "<svg"), 5u);
}

TEST(RunPage, TextFromARecordCannotAddMarkup) {
    std::vector<RunRecord> records = Numbered(2);
    records[0].driverId = "<script src=\"http://x\">alert(1)</script>";
    records[1].verdict->checkReason = "<img src=//x onerror='y'>";
    const std::string page = RenderRunPage(records);
    for (const char* banned : {"<script", "<img", "'y'"})
        EXPECT_EQ(Lower(page).find(banned), std::string::npos) << banned;
    EXPECT_NE(page.find("&lt;script src=&quot;http://x&quot;&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.find("&lt;img src=//x onerror=&#39;y&#39;&gt;"), std::string::npos);
}

TEST(RunPage, PlotsPointsCurveAndBothResults) {
    // The run's own section: the history above it has lines and dots of its own.
    const std::string page = SectionOf(FocusRecord());
    EXPECT_EQ(Count(page, std::string("r=\"5\" fill=\"") + kPlotPointColour), 3u);
    EXPECT_EQ(Count(page, "r=\"2.5\""), 6u);  // every counted value
    EXPECT_EQ(Count(page, std::string("<polyline fill=\"none\" stroke=\"") + kPlotCurveColour), 1u);
    EXPECT_EQ(Count(page, std::string("<line x1=\"")), 2u);
    EXPECT_NE(page.find(std::string("stroke=\"") + kPlotThreePointColour), std::string::npos);
    EXPECT_NE(page.find(std::string("stroke=\"") + kPlotFitPeakColour), std::string::npos);
    for (const char* number : {"1026", "1012.4", "0.987", "too flat", "1000 = 50 (-3, 50)", "4294967.3 s"})
        EXPECT_NE(page.find(number), std::string::npos) << number;
}

// Both marks of a result at one position land on one line of the plot, however large
// the position (beyond 2^24 a float could no longer hold it).
TEST(RunPage, MarksOfOnePositionCoincideAtLargePositions) {
    RunRecord r = FocusRecord();
    r.points = {{100000000, 40, {40}}, {100000100, 50, {50}}, {100000200, 45, {45}}};
    r.verdict->threePoint = 100000101;
    r.verdict->fitPeak = 100000101;
    r.verdict->fitCurvePoints = 0;
    const std::string page = SectionOf(r);
    std::vector<std::string> marks;
    for (size_t at = page.find("<line x1=\""); at != std::string::npos; at = page.find("<line x1=\"", at + 1))
        marks.push_back(page.substr(at + 10, page.find('"', at + 10) - (at + 10)));
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0], marks[1]);
}

// The page's text byte for byte, plot coordinates included (on 32-bit too, where the
// arithmetic runs on the x87 unit): writing it differently must not change what it says.
TEST(RunPage, IsWrittenExactly) {
    struct Case {
        std::string written;
        const char* text;
    };
    const std::vector<Case> cases = {
        {SectionOf(FocusRecord()),
         R"html(<!--run-->
<div>
<svg width="440" height="240">
<rect x="62" y="14" width="364" height="192" fill="#fff" stroke="#8a8a8a"/>
<text x="62" y="224" text-anchor="start">888</text>
<text x="426" y="224" text-anchor="end">1112</text>
<text x="56" y="24" text-anchor="end">54</text>
<text x="56" y="206" text-anchor="end">0</text>
<line x1="286.2" y1="14" x2="286.2" y2="206" stroke="#139a2a" stroke-width="3"/>
<line x1="264.2" y1="14" x2="264.2" y2="206" stroke="#c81e1e" stroke-width="3" stroke-dasharray="6,4"/>
<polyline fill="none" stroke="#e07800" stroke-width="3" points="81.5,117.1 244,28.2 406.5,117.1 "/>
<circle cx="81.5" cy="63.8" r="2.5" fill="#9aa6b8"/>
<circle cx="81.5" cy="134.9" r="2.5" fill="#9aa6b8"/>
<circle cx="81.5" cy="63.8" r="5" fill="#1f5fbf"/>
<circle cx="244" cy="206" r="2.5" fill="#9aa6b8"/>
<circle cx="244" cy="28.2" r="2.5" fill="#9aa6b8"/>
<circle cx="244" cy="28.2" r="5" fill="#1f5fbf"/>
<circle cx="406.5" cy="46" r="2.5" fill="#9aa6b8"/>
<circle cx="406.5" cy="46" r="2.5" fill="#9aa6b8"/>
<circle cx="406.5" cy="46" r="5" fill="#1f5fbf"/>
</svg>
<table>
<tr><th>Time (UTC)<td>2026-12-08T11:40:05Z
<tr><th>Driver<td>QmSim.Focuser
<tr><th>Outcome<td><b>focus</b>
<tr><th>Steps, Increment, Expo/Step<td>3, 100, 2
<tr><th>Three-point result<td>1026
<tr><th>Fitted peak<td>1012.4 (quality 0.987)
<tr><th>Curve check<td>refused: too flat
<tr><th>Moved to<td>1026
<tr><th>Duration<td>4294967.3 s
<tr><th>Positions<td>900 = 40 (40, 20)<br>1000 = 50 (-3, 50)<br>1100 = 45 (45, 45)<br>
</table>
</div>
<!--/run-->
)html"},
        {RenderRunPage({StoppedRecord()}),
         R"html(<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<title>Autofocus runs</title>
<style>body{font:13px sans-serif;margin:16px;color:#202020;background:#f4f4f4}h1{font-size:18px}div{display:flex;gap:18px;align-items:flex-start;background:#fff;border:1px solid #ccc;padding:10px;margin:0 0 12px}text{font-size:11px;fill:#404040}th{text-align:left;padding-right:10px;vertical-align:top;font-weight:400;color:#606060}span{display:inline-block;width:14px;height:4px;margin:0 4px 2px 12px;vertical-align:middle}</style>
</head>
<body>
<h1>Autofocus runs</h1>
<p>The last recorded run.</p>
<section style="display:block;background:#fff;border:1px solid #ccc;padding:10px;margin:0 0 12px">
<p style="margin:0">No recorded run found a focus yet.</p>
<p style="margin:4px 0 0;color:#606060">0 runs with a focus plotted; 1 run without a focus left out.</p>
</section>
<p><span style="background:#1f5fbf"></span>step value<span style="background:#e07800"></span>fitted curve<span style="background:#139a2a"></span>three-point result<span style="background:#c81e1e"></span>fitted peak</p>
<!--run-->
<div>
<svg width="440" height="240">
<rect x="62" y="14" width="364" height="192" fill="#fff" stroke="#8a8a8a"/>
<text x="62" y="224" text-anchor="start">-6</text>
<text x="426" y="224" text-anchor="end">-4</text>
<text x="56" y="24" text-anchor="end">1</text>
<text x="56" y="206" text-anchor="end">0</text>
<circle cx="244" cy="206" r="2.5" fill="#9aa6b8"/>
<circle cx="244" cy="206" r="5" fill="#1f5fbf"/>
</svg>
<table>
<tr><th>Time (UTC)<td>2026-12-08T11:41:00Z
<tr><th>Driver<td>
<tr><th>Outcome<td><b>stopped</b>
<tr><th>Steps, Increment, Expo/Step<td>7, 1, 9
<tr><th>Moved to<td>-
<tr><th>Duration<td>0.0 s
<tr><th>Positions<td>-5 = 0 (0)<br>not completed (7, 8)
</table>
</div>
<!--/run-->
</body>
</html>
)html"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.written, c.text);
}

TEST(RunPage, RunWithoutAResultHasNoMarks) {
    const std::string page = RenderRunPage({StoppedRecord()});
    EXPECT_EQ(Count(page, "<line "), 0u);
    EXPECT_EQ(Count(page, "<polyline"), 0u);
    EXPECT_NE(page.find("not completed (7, 8)"), std::string::npos);
}

// A run `hour` hours after ten o'clock (hours 0 to 9) that moved to `movedTo`, with the
// temperatures read at its start and end. Its three-point result stays FocusRecord's,
// another number than where the run moved.
RunRecord RunAt(int hour,
                std::optional<int32_t> movedTo,
                std::optional<double> start,
                std::optional<double> end,
                RunOutcome outcome = RunOutcome::Focus) {
    RunRecord r = FocusRecord();
    r.timeUtc = "2026-12-08T10:00:00Z";
    r.timeUtc[12] = static_cast<char>('0' + hour % 10);
    r.movedTo = movedTo;
    r.temperatureAtStart = start;
    r.temperatureAtEnd = end;
    r.outcome = outcome;
    return r;
}

// The history stands between the page's heading and its first run, once, and is drawn
// from the runs the page shows: the position each moved to, its temperatures, its outcome.
TEST(RunPage, HistoryOfTheSameRunsAboveThem) {
    const std::string slope =
        "Temperature slope: -10.00 \xC2\xB1 0.00 steps per \xC2\xB0"
        "C</b> (3 runs)";
    std::vector<RunRecord> sixty;
    for (int i = 0; i < 60; ++i)
        sixty.push_back(RunAt(i, 1000 + i, i < 10 ? std::optional<double>(i) : std::nullopt, std::nullopt));
    struct Case {
        const char* name;
        std::vector<RunRecord> records;   // oldest first
        std::vector<std::string> texts;   // in the history
        std::vector<std::string> absent;  // nowhere on the page
    };
    const std::vector<Case> cases = {
        {"the result is where the run moved",
         {RunAt(0, 1000, 0, 0), RunAt(1, 900, 10, 10), RunAt(2, 800, 20, 20)},
         {slope, "3 runs with a focus plotted."},
         {}},
        {"start and end averaged, or the one read",
         {RunAt(0, 1000, 9, 11), RunAt(1, 900, std::nullopt, 20), RunAt(2, 800, 30, std::nullopt)},
         {slope},
         {}},
        {"runs without a focus left out, also one stopped after its final move began",
         {RunAt(0, 1000, 5, 5), RunAt(1, 990, 6, 6, RunOutcome::Stopped),
          RunAt(2, std::nullopt, 8, 8, RunOutcome::Error), RunAt(3, 1010, 7, 7)},
         {"2 runs with a focus plotted; 2 runs without a focus left out.",
          "needs 3 runs with a focus and a temperature (2 so far)"},
         {"steps per"}},
        {"the page's fifty runs, not the older ones", sixty, {"50 runs with a focus plotted."}, {"Temperature slope"}},
    };
    for (const Case& c : cases) {
        const std::string page = RenderRunPage(c.records);
        ASSERT_EQ(Count(page, "<section"), 1u) << c.name;
        ASSERT_EQ(Count(page, "</section>"), 1u) << c.name;
        const size_t begin = page.find("<section"), end = page.find("</section>");
        EXPECT_LT(page.find("</h1>"), begin) << c.name;
        EXPECT_LT(end, page.find(kRunSectionBegin)) << c.name;
        const std::string history = page.substr(begin, end - begin);
        for (const std::string& text : c.texts)
            EXPECT_NE(history.find(text), std::string::npos) << c.name << ": " << text << "\n" << history;
        for (const std::string& text : c.absent)
            EXPECT_EQ(page.find(text), std::string::npos) << c.name << ": " << text;
    }
    EXPECT_EQ(Count(RenderRunPage({}), "<section"), 0u);
}

// ---- Reading a record line back ----

RunRecord Unconverged() {
    RunRecord r = FocusRecord();
    r.verdict->fitConverged = false;
    r.verdict->fitPeak = std::nan("");
    r.verdict->fitCurvePoints = 0;
    r.verdict->threePoint = 0;
    r.verdict->checkReason = "";
    r.movedTo.reset();
    r.outcome = RunOutcome::Error;
    r.points.clear();
    return r;
}

TEST(RecordedRun, ReadsBackWhatTheWriterWrites) {
    RunRecord dropped = FocusRecord();
    dropped.verdict->droppedPosition = 1100;
    dropped.temperatureAtStart = -3.25;
    dropped.temperatureAtEnd = 0.5;
    RunRecord escaped = StoppedRecord();
    escaped.driverId = "say \"hi\" C:\\x\r\n\t\x01 caf\xc3\xa9";
    RunRecord extremes = StoppedRecord();
    extremes.steps = INT32_MIN;
    extremes.increment = INT32_MAX;
    extremes.durationMs = 0;
    extremes.temperatureAtStart = -0.0001;
    extremes.temperatureAtEnd = 123456.7891;
    for (const RunRecord& r : {FocusRecord(), StoppedRecord(), Unconverged(), dropped, escaped, extremes}) {
        const std::optional<RecordedRun> read = ReadRunRecordLine(FormatRunRecordLine(r));
        ASSERT_TRUE(read) << FormatRunRecordLine(r);
        EXPECT_EQ(read->timeUtc, r.timeUtc);
        EXPECT_EQ(read->driverId, r.driverId);
        EXPECT_EQ(std::tie(read->steps, read->increment, read->exposuresPerStep, read->points, read->pendingValues,
                           read->movedTo, read->outcome, read->durationMs, read->temperatureAtStart,
                           read->temperatureAtEnd),
                  std::tie(r.steps, r.increment, r.exposuresPerStep, r.points, r.pendingValues, r.movedTo, r.outcome,
                           r.durationMs, r.temperatureAtStart, r.temperatureAtEnd));
        ASSERT_EQ(read->verdict.has_value(), r.verdict.has_value());
        if (r.verdict) {
            EXPECT_EQ(read->verdict->threePoint, r.verdict->threePoint);
            EXPECT_EQ(read->verdict->fitConverged, r.verdict->fitConverged);
            EXPECT_EQ(read->verdict->droppedPosition, r.verdict->droppedPosition);
            EXPECT_EQ(read->verdict->checkReason, r.verdict->checkReason);
            EXPECT_EQ(read->verdict->curve.size(), static_cast<size_t>(r.verdict->fitCurvePoints));
            if (r.verdict->fitConverged)
                EXPECT_EQ(read->verdict->fitPeak, r.verdict->fitPeak);
            else
                EXPECT_TRUE(std::isnan(read->verdict->fitPeak));
        }
    }
    // A byte that was not UTF-8 comes back as the Latin-1 character it was escaped as.
    RunRecord codePage = StoppedRecord();
    codePage.driverId = "caf\xe9";
    EXPECT_EQ(ReadRunRecordLine(FormatRunRecordLine(codePage))->driverId, "caf\xc3\xa9");
}

TEST(RecordedRun, LinesWithoutTemperaturesReadAsNull) {
    std::string line = FormatRunRecordLine(FocusRecord());
    line.replace(line.find(",\"temperatureStart\""), std::string::npos, "}");
    const std::optional<RecordedRun> read = ReadRunRecordLine(line);
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->temperatureAtStart);
    EXPECT_FALSE(read->temperatureAtEnd);
    EXPECT_EQ(read->durationMs, 4294967295u);
}

// Every line that is not exactly what the writer writes reads as nothing.
TEST(RecordedRun, RefusesAnyOtherText) {
    const std::string good = FormatRunRecordLine(FocusRecord());
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string line = good;
        const size_t at = line.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? line : line.replace(at, from.size(), to);
    };
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"empty", ""},
        {"blank before", " " + good},
        {"CR after", good + "\r"},
        {"two records", good + good},
        {"blank inside", with("\"steps\":3", "\"steps\": 3")},
        {"members swapped", with("\"steps\":3,\"increment\":100", "\"increment\":100,\"steps\":3")},
        {"unknown member", with("\"steps\":3", "\"steps\":3,\"x\":1")},
        {"leading zero", with("\"steps\":3", "\"steps\":03")},
        {"minus zero", with("\"steps\":3", "\"steps\":-0")},
        {"whole number too large", with("\"steps\":3", "\"steps\":2147483648")},
        {"duration too large", with("4294967295", "4294967296")},
        {"negative duration", with("4294967295", "-1")},
        {"decimal where a whole number belongs", with("\"steps\":3", "\"steps\":3.5")},
        {"five decimals", with("0.987", "0.98701")},
        {"trailing zero", with("0.987", "0.9870")},
        {"bare point", with("0.987", "1.")},
        {"exponent", with("0.987", "9e-1")},
        {"string not ended", with("\"too flat\"}", "\"too flat}")},
        {"unknown escape", with("too flat", "too\\/flat")},
        {"upper-case hex escape", with("too flat", "too\\u00E9flat")},
        {"raw control character", with("too flat", "too\x01" "flat")},
        {"unknown outcome", with("\"focus\"", "\"done\"")},
        {"verdict half null", with("\"threePoint\":1026", "\"threePoint\":null")},
        {"dropped of 0", with("\"quality\":0.987", "\"quality\":0.987,\"dropped\":0")},
        {"one temperature", with(",\"temperatureEnd\":null", "")},
        {"text after", good + "x"},
    };
    for (const auto& [name, line] : cases)
        EXPECT_FALSE(ReadRunRecordLine(line)) << name << ": " << line;
    // Every line torn short of its end.
    for (size_t length = 0; length < good.size(); ++length)
        ASSERT_FALSE(ReadRunRecordLine(std::string_view(good).substr(0, length))) << length;
    EXPECT_TRUE(ReadRunRecordLine(good));
}

// ---- The record file's text ----

TEST(RecordFileText, CompleteLines) {
    const std::vector<std::pair<std::string, std::vector<std::string_view>>> cases = {
        {"", {}},
        {"a", {}},  // torn: no LF
        {"a\n", {"a"}},
        {"a\r\nb\n\n\nc", {"a", "b"}},
        {"\r\n\n", {}},
        {"a\rb\n", {"a\rb"}},  // a lone CR ends no line
    };
    for (const auto& [text, lines] : cases)
        EXPECT_EQ(CompleteRecordLines(text), lines) << text;
}

TEST(RecordFileText, AppendEndsATornLineFirst) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "L\n"},
        {"a\n", "L\n"},
        {"a\r\n", "L\n"},
        {"a\n{\"time\":\"20", "\nL\n"},
        {"a\r", "\nL\n"},
    };
    for (const auto& [text, bytes] : cases)
        EXPECT_EQ(RecordAppendBytes(text, "L"), bytes) << text;
}

std::string RecordLines(size_t count, size_t first = 0) {
    std::string text;
    for (size_t i = first; i < first + count; ++i) {
        RunRecord r = StoppedRecord();
        r.driverId = "D" + std::to_string(i);
        text += FormatRunRecordLine(r) + "\n";
    }
    return text;
}

TEST(RecordFileText, TrimsOnlyAboveTheMarginToTheLastRecords) {
    EXPECT_FALSE(RecordNeedsTrim(RecordLines(kRunRecordTrimAbove)));
    EXPECT_TRUE(RecordNeedsTrim(RecordLines(kRunRecordTrimAbove + 1)));
    // Lines the trim keeps whatever their number do not call for one.
    EXPECT_FALSE(RecordNeedsTrim(std::string(kRunRecordTrimAbove + 1, '\n')));
    EXPECT_FALSE(RecordNeedsTrim(RecordLines(kRunRecordTrimAbove) + "junk\n"));
    EXPECT_TRUE(RecordNeedsTrim(RecordLines(kRunRecordTrimAbove) + "{\"time\":\"20\n"));

    // Torn fragments and older records go; the last kRunRecordLimit records stay, and
    // every line that does not read, in their order.
    const std::string text = "junk\n" + RecordLines(600) + "{\"time\":\"2026\n" + RecordLines(600, 600) + "{\"ti";
    const std::string trimmed = TrimmedRecord(text);
    EXPECT_EQ(trimmed, "junk\n" + RecordLines(1000, 200));
    EXPECT_EQ(TrimmedRecord(text, 2), "junk\n" + RecordLines(2, 1198));
    EXPECT_EQ(TrimmedRecord("a\nb\n"), "a\nb\n");
    EXPECT_EQ(TrimmedRecord("{\"a\":[1,\n{\"x\n"), "");
}

TEST(RecordFileText, LastRunsNewestFirst) {
    const std::string text = RecordLines(3) + "torn\n" + RecordLines(1, 3) + "{\"ti";
    const std::vector<RecordedRun> runs = LastRecordedRuns(text, 3);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].driverId, "D3");
    EXPECT_EQ(runs[2].driverId, "D1");
    EXPECT_EQ(LastRecordedRuns(text, 10).size(), 4u);
}

// ---- Keeping a run in the files ----

// The record's files in memory. An operation can fail, be refused, or kill the program:
// `killAt` counts the writing operations (Append, Replace, Overwrite, WriteNew, Remove)
// from 1, and the one it names throws Killed after writing `tornBytes` of its bytes (all
// when npos; a Remove is killed before it removes).
struct Killed {};
class MemoryStore : public RunRecordStore {
  public:
    std::map<std::string, std::string> files;
    std::set<std::string> unreadable, failAppend;
    int stamps = 0;
    bool refusesNewFiles = false;
    bool lockHeldElsewhere = false;
    int killAt = 0;
    size_t tornBytes = std::string::npos;
    int writes = 0;
    int locks = 0;

    std::string ProgramDirectory() override { return "C:\\prog\\"; }
    bool Lock() override {
        if (lockHeldElsewhere)
            return false;
        ++locks;
        return true;
    }
    void Unlock() override { --locks; }
    std::optional<std::string> Read(const std::string& path) override {
        if (unreadable.count(path))
            return std::nullopt;
        const auto it = files.find(path);
        return it == files.end() ? std::string() : it->second;
    }
    bool Append(const std::string& path, std::string_view bytes) override {
        if (failAppend.count(path))
            return false;
        Write(bytes, [&](std::string_view part) { files[path] += part; });
        return true;
    }
    Replaced Replace(const std::string& path, std::string_view content) override {
        if (refusesNewFiles)
            return Replaced::Refused;
        // The rename is whole or not at all: a kill before it leaves the file as it was.
        if (++writes == killAt)
            throw Killed{};
        files[path] = content;
        return Replaced::Done;
    }
    bool Overwrite(const std::string& path, std::string_view content) override {
        std::string& file = files[path];
        Write(content, [&](std::string_view part) {
            file.replace(0, std::min(part.size(), file.size()), part);  // written over, not yet cut
        });
        file.resize(content.size());
        return true;
    }
    std::string PendingStamp() override {
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "t%04d", ++stamps);
        return stamp;
    }
    bool WriteNew(const std::string& path, std::string_view bytes) override {
        if (refusesNewFiles || files.count(path))
            return false;
        Write(bytes, [&](std::string_view part) { files[path] += part; });
        return true;
    }
    std::vector<std::string> FileNames(std::string_view prefix, std::string_view suffix) override {
        // Newest first: a directory lists its files in an order of its own.
        std::vector<std::string> names;
        for (auto it = files.rbegin(); it != files.rend(); ++it) {
            const std::string name = it->first.substr(ProgramDirectory().size());
            if (name.starts_with(prefix) && name.ends_with(suffix))
                names.push_back(name);
        }
        return names;
    }
    bool Remove(const std::string& path) override {
        if (++writes == killAt)
            throw Killed{};
        return files.erase(path) == 1;
    }

  private:
    template <typename Apply>
    void Write(std::string_view bytes, Apply apply) {
        if (++writes == killAt) {
            apply(bytes.substr(0, std::min(tornBytes, bytes.size())));
            throw Killed{};
        }
        apply(bytes);
    }
};

constexpr const char* kRecordPath = "C:\\prog\\autofocus-runs.jsonl";
constexpr const char* kPagePath = "C:\\prog\\autofocus-runs.htm";

RunRecord NumberedRun(int number) {
    RunRecord r = number % 2 ? FocusRecord() : StoppedRecord();
    r.driverId = "Run.N" + std::to_string(number) + ".";
    return r;
}

// The numbers of the runs the record file's readable lines hold, oldest first; -1 for a
// complete line that does not read as a record.
std::vector<int> RunsInRecord(const std::string& text) {
    std::vector<int> runs;
    for (std::string_view line : CompleteRecordLines(text)) {
        const std::optional<RecordedRun> run = ReadRunRecordLine(line);
        runs.push_back(run ? std::atoi(run->driverId.c_str() + 5) : -1);
    }
    return runs;
}

std::vector<int> Range(int first, int last) {
    std::vector<int> numbers;
    for (int i = first; i <= last; ++i)
        numbers.push_back(i);
    return numbers;
}

TEST(KeepRunRecord, AppendsAndMakesThePageFromTheRecord) {
    MemoryStore store;
    for (int i = 0; i < 3; ++i)
        KeepRunRecord(store, NumberedRun(i));
    EXPECT_EQ(store.files[kRecordPath], RecordLinesOf({NumberedRun(0), NumberedRun(1), NumberedRun(2)}));
    EXPECT_EQ(store.files[kPagePath], RenderRunPage({NumberedRun(0), NumberedRun(1), NumberedRun(2)}));
    EXPECT_EQ(store.locks, 0);

    // A page edited, torn or lost is made again whole from the record.
    for (const char* page : {"<html>edited</html>", "<!DOCTYPE html>\n<html>\n<he", ""}) {
        store.files[kPagePath] = page;
        KeepRunRecord(store, NumberedRun(3));
        EXPECT_EQ(store.files[kPagePath], RenderRunPage({NumberedRun(0), NumberedRun(1), NumberedRun(2), NumberedRun(3)})) << page;
        store.files[kRecordPath] = RecordLinesOf({NumberedRun(0), NumberedRun(1), NumberedRun(2)});
    }
}

TEST(KeepRunRecord, PageShowsTheNewestFifty) {
    MemoryStore store;
    for (int i = 0; i < 60; ++i)
        KeepRunRecord(store, NumberedRun(i));
    const std::string& page = store.files[kPagePath];
    EXPECT_EQ(Count(page, "<svg"), 51u);  // the runs' plots and the history's time plot
    EXPECT_EQ(Count(page, kRunSectionBegin), 50u);
    EXPECT_NE(page.find("The last 50 recorded runs, newest first."), std::string::npos);
    EXPECT_LT(page.find("Run.N59."), page.find("Run.N58."));
    EXPECT_NE(page.find("Run.N10."), std::string::npos);
    EXPECT_EQ(page.find("Run.N9."), std::string::npos);
}

TEST(KeepRunRecord, TrimsAboveTheMarginUnlessTheFolderRefusesNewFiles) {
    std::string full;
    for (int i = 0; i < static_cast<int>(kRunRecordTrimAbove); ++i)
        full += FormatRunRecordLine(NumberedRun(i)) + "\n";
    struct Case {
        const char* name;
        bool refusesNewFiles;
        bool lockHeldElsewhere;
        std::vector<int> after;
    };
    std::vector<int> untrimmed = Range(0, static_cast<int>(kRunRecordTrimAbove));
    const std::vector<Case> cases = {
        {"trimmed", false, false,
         Range(static_cast<int>(kRunRecordTrimAbove) - 999, static_cast<int>(kRunRecordTrimAbove))},
        {"folder refuses new files", true, false, untrimmed},
        {"lock held elsewhere", false, true, Range(0, static_cast<int>(kRunRecordTrimAbove) - 1)},
    };
    for (const Case& c : cases) {
        MemoryStore store;
        store.refusesNewFiles = c.refusesNewFiles;
        store.lockHeldElsewhere = c.lockHeldElsewhere;
        store.files[kRecordPath] = full;
        KeepRunRecord(store, NumberedRun(static_cast<int>(kRunRecordTrimAbove)));
        EXPECT_EQ(RunsInRecord(store.files[kRecordPath]), c.after) << c.name;
        EXPECT_EQ(Count(store.files[kPagePath], kRunSectionBegin), 50u) << c.name;
        EXPECT_NE(store.files[kPagePath].find("Run.N1100."), std::string::npos) << c.name;
    }
}

// The page of `records` (oldest first) whose newest `waiting` are not yet in the record.
std::string PageWithWaiting(const std::vector<RunRecord>& records, size_t waiting) {
    std::vector<RecordedRun> newestFirst;
    for (size_t i = records.size(); i-- > 0;)
        newestFirst.push_back(RecordedRunOf(records[i]));
    RunPageNotes notes;
    notes.waiting = waiting;
    return ComposeRunPage(newestFirst, notes);
}

// The pending files' paths and texts.
std::map<std::string, std::string> PendingFiles(const MemoryStore& store) {
    std::map<std::string, std::string> pending;
    for (const auto& [path, text] : store.files)
        if (path.find(kPendingRunPrefix) != std::string::npos)
            pending[path] = text;
    return pending;
}

std::string PendingPath(const char* stamp) {
    return std::string("C:\\prog\\") + kPendingRunPrefix + stamp + kPendingRunSuffix;
}

TEST(KeepRunRecord, ARunThatCannotBeAppendedWaitsAndIsOnThePage) {
    MemoryStore store;
    KeepRunRecord(store, NumberedRun(0));
    store.failAppend = {kRecordPath};
    EXPECT_EQ(KeepRunRecord(store, NumberedRun(1)), KeptRun::Pending);
    EXPECT_EQ(KeepRunRecord(store, NumberedRun(2)), KeptRun::Pending);
    EXPECT_EQ(RunsInRecord(store.files[kRecordPath]), std::vector<int>{0});
    EXPECT_EQ(PendingFiles(store).size(), 2u);
    EXPECT_EQ(store.files[kPagePath], PageWithWaiting({NumberedRun(0), NumberedRun(1), NumberedRun(2)}, 2));
    EXPECT_NE(store.files[kPagePath].find("The newest 2 runs are not yet in the record"), std::string::npos);

    // Once the file can be written, the waiting runs go in first, oldest first.
    store.failAppend.clear();
    EXPECT_EQ(KeepRunRecord(store, NumberedRun(3)), KeptRun::Recorded);
    EXPECT_EQ(RunsInRecord(store.files[kRecordPath]), Range(0, 3));
    EXPECT_TRUE(PendingFiles(store).empty());
    EXPECT_EQ(store.files[kPagePath], RenderRunPage({NumberedRun(0), NumberedRun(1), NumberedRun(2), NumberedRun(3)}));

    // Nowhere to keep it: the page alone shows it, and says so.
    MemoryStore nowhere;
    nowhere.failAppend = {kRecordPath};
    nowhere.refusesNewFiles = true;
    EXPECT_EQ(KeepRunRecord(nowhere, NumberedRun(4)), KeptRun::PageOnly);
    EXPECT_NE(nowhere.files[kPagePath].find("nor kept beside it"), std::string::npos);
    EXPECT_NE(nowhere.files[kPagePath].find("Run.N4."), std::string::npos);

    // A record file that cannot be read is appended to all the same, after an LF.
    MemoryStore unreadable;
    unreadable.files[kRecordPath] = "{\"torn";
    unreadable.unreadable = {kRecordPath};
    KeepRunRecord(unreadable, NumberedRun(2));
    EXPECT_EQ(unreadable.files[kRecordPath], "{\"torn\n" + FormatRunRecordLine(NumberedRun(2)) + "\n");
    EXPECT_EQ(unreadable.files[kPagePath], RenderRunPage({NumberedRun(2)}));
}

// What the next holder of the lock does with the pending files it finds.
TEST(KeepRunRecord, PendingRunsAreAppendedOnceInTimeOrder) {
    const std::string line5 = FormatRunRecordLine(NumberedRun(5)) + "\n";
    const std::string line6 = FormatRunRecordLine(NumberedRun(6)) + "\n";
    struct Case {
        const char* name;
        std::map<std::string, std::string> pending;  // stamp to text
        std::set<std::string> beingWritten;          // stamps another program has open
        std::vector<int> record;                     // the runs in the record after run 9
        std::set<std::string> left;                  // the stamps still pending
    };
    const std::vector<Case> cases = {
        {"one waiting", {{"a1", line5}}, {}, {0, 5, 9}, {}},
        {"in the order of their stamps", {{"b2", line5}, {"a1", line6}}, {}, {0, 6, 5, 9}, {}},
        {"one still being written waits", {{"a1", line5}, {"b2", line6}}, {"b2"}, {0, 5, 9}, {"b2"}},
        {"torn by a kill before its run was kept", {{"a1", line5.substr(0, 30)}}, {}, {0, 9}, {}},
        {"already appended when its writer was killed",
         {{"a1", FormatRunRecordLine(NumberedRun(0)) + "\n"}},
         {},
         {0, 9},
         {}},
        {"empty", {{"a1", ""}}, {}, {0, 9}, {}},
    };
    for (const Case& c : cases) {
        MemoryStore store;
        KeepRunRecord(store, NumberedRun(0));
        for (const auto& [stamp, text] : c.pending)
            store.files[PendingPath(stamp.c_str())] = text;
        for (const std::string& stamp : c.beingWritten)
            store.unreadable.insert(PendingPath(stamp.c_str()));
        EXPECT_EQ(KeepRunRecord(store, NumberedRun(9)), KeptRun::Recorded) << c.name;
        EXPECT_EQ(RunsInRecord(store.files[kRecordPath]), c.record) << c.name;
        std::set<std::string> left;
        for (const auto& [path, text] : PendingFiles(store))
            left.insert(path);
        std::set<std::string> expected;
        for (const std::string& stamp : c.left)
            expected.insert(PendingPath(stamp.c_str()));
        EXPECT_EQ(left, expected) << c.name;
    }
}

// A program that cannot have the lock leaves the record alone: its run waits for the
// holder, whose trim would otherwise lose an append made meanwhile.
TEST(KeepRunRecord, WithoutTheLockTheRunWaitsForTheHolder) {
    MemoryStore store;
    KeepRunRecord(store, NumberedRun(0));
    const std::string before = store.files[kRecordPath];
    store.lockHeldElsewhere = true;
    EXPECT_EQ(KeepRunRecord(store, NumberedRun(1)), KeptRun::Pending);
    EXPECT_EQ(KeepRunRecord(store, NumberedRun(2)), KeptRun::Pending);
    EXPECT_EQ(store.files[kRecordPath], before);
    EXPECT_EQ(store.files[kPagePath], PageWithWaiting({NumberedRun(0), NumberedRun(1), NumberedRun(2)}, 2));
    store.lockHeldElsewhere = false;
    KeepRunRecord(store, NumberedRun(3));
    EXPECT_EQ(RunsInRecord(store.files[kRecordPath]), Range(0, 3));
    EXPECT_TRUE(PendingFiles(store).empty());

    // Where the folder refuses new files no pending file can be made, and no trim can
    // replace the record: the run is appended without the lock, as nothing can lose it.
    MemoryStore refusing;
    refusing.refusesNewFiles = true;
    refusing.lockHeldElsewhere = true;
    EXPECT_EQ(KeepRunRecord(refusing, NumberedRun(4)), KeptRun::Recorded);
    EXPECT_EQ(RunsInRecord(refusing.files[kRecordPath]), std::vector<int>{4});
}

// A program killed at every writing step of a run's keeping, at the start of a write, in
// its middle and at its end, in a folder that takes new files and in one that refuses
// them, with the record about to be trimmed or not: the next run then finds every run
// that was appended whole once, every complete line a record or a torn fragment that
// no record runs into, and a page of the last runs.
TEST(KeepRunRecord, AKillAtAnyStepLosesNoKeptRun) {
    constexpr int kWaiting = 5000;  // a run pending before the killed one, in some cases
    for (bool refuses : {false, true}) {
        for (bool waiting : {false, true}) {
            for (int before : {3, static_cast<int>(kRunRecordTrimAbove)}) {
                // The writes: the append, the pending file's removal, the trim, the page.
                const int writes = 2 + waiting + (before == 3 || refuses ? 0 : 1);
                for (int step = 1; step <= writes; ++step) {
                    for (size_t torn : {size_t{0}, size_t{40}, std::string::npos}) {
                        const std::string name = std::string(refuses ? "refusing, " : "") +
                                                 (waiting ? "one waiting, " : "") + std::to_string(before) +
                                                 " runs, step " + std::to_string(step) + ", torn at " +
                                                 std::to_string(static_cast<long>(torn));
                        MemoryStore store;
                        store.refusesNewFiles = refuses;
                        for (int i = 0; i < before; ++i)
                            store.files[kRecordPath] += FormatRunRecordLine(NumberedRun(i)) + "\n";
                        if (waiting)
                            store.files[PendingPath("a1")] = FormatRunRecordLine(NumberedRun(kWaiting)) + "\n";
                        store.killAt = step;
                        store.tornBytes = torn;
                        bool killed = false;
                        try {
                            KeepRunRecord(store, NumberedRun(before));
                        } catch (const Killed&) {
                            killed = true;
                        }
                        store.killAt = 0;
                        KeepRunRecord(store, NumberedRun(before + 1));
                        KeepRunRecord(store, NumberedRun(before + 2));

                        std::vector<int> runs = RunsInRecord(store.files[kRecordPath]);
                        // The killed run is there when its append was whole, and once at most;
                        // the waiting run is there once.
                        const bool killedRunWhole = std::count(runs.begin(), runs.end(), before) == 1;
                        EXPECT_LE(std::count(runs.begin(), runs.end(), before), 1) << name;
                        EXPECT_EQ(std::count(runs.begin(), runs.end(), kWaiting), waiting ? 1 : 0) << name;
                        EXPECT_TRUE(PendingFiles(store).empty()) << name;
                        std::erase(runs, -1);  // torn fragments, each on a line of its own
                        std::erase(runs, before);
                        std::erase(runs, kWaiting);
                        const int first = runs.empty() ? 0 : runs.front();
                        std::vector<int> expected = Range(first, before - 1);
                        expected.push_back(before + 1);
                        expected.push_back(before + 2);
                        EXPECT_EQ(runs, expected) << name;
                        EXPECT_TRUE(first == 0 || (!refuses && first > 0)) << name;
                        EXPECT_GE(runs.size() + killedRunWhole, std::min<size_t>(before + 2, kRunRecordLimit)) << name;
                        // The page is the record's, whatever the kill left of it.
                        const std::string& page = store.files[kPagePath];
                        EXPECT_EQ(page, ComposeRunPage(LastRecordedRuns(store.files[kRecordPath], kRunPageRuns)))
                            << name;
                        EXPECT_TRUE(killed || step == writes) << name;
                    }
                }
            }
        }
    }
}

// ---- Records of every format ----

// A record file as the version before format numbers wrote it (a line from before the
// temperatures were kept, then three of that version's own), which must read unchanged.
// The non-ASCII driver of the last line is UTF-8 in the file.
const std::string kFormat1Record =
    R"({"time":"2026-10-30T20:00:00Z","driver":"QmSim.Focuser","steps":5,"increment":120,"exposuresPerStep":2,"points":[{"position":9760,"value":410,"values":[405,415]},{"position":9880,"value":620,"values":[610,630]},{"position":10000,"value":700,"values":[700,700]},{"position":10120,"value":640,"values":[650,630]},{"position":10240,"value":430,"values":[420,440]}],"pendingValues":[],"threePoint":10012,"fit":{"converged":true,"peak":10009.25,"quality":0.9931,"curve":[[9760,140],[10000,700],[10240,140]]},"check":{"passed":true,"reason":""},"result":10012,"outcome":"focus","durationMs":48213}
{"time":"2026-11-02T21:14:07Z","driver":"QmSim.Focuser","steps":5,"increment":120,"exposuresPerStep":2,"points":[{"position":9760,"value":410,"values":[405,415]},{"position":9880,"value":620,"values":[610,630]},{"position":10000,"value":700,"values":[700,700]},{"position":10120,"value":640,"values":[650,630]},{"position":10240,"value":430,"values":[420,440]}],"pendingValues":[],"threePoint":10012,"fit":{"converged":true,"peak":10009.25,"quality":0.9931,"curve":[[9760,140],[10000,700],[10240,140]]},"check":{"passed":true,"reason":""},"result":10012,"outcome":"focus","durationMs":48213,"temperatureStart":3.5,"temperatureEnd":2.75}
{"time":"2026-11-02T22:01:40Z","driver":"Caf\u00e9 \"Focuser\"\t\\1","steps":5,"increment":120,"exposuresPerStep":2,"points":[{"position":9760,"value":410,"values":[405,415]},{"position":9880,"value":620,"values":[610,630]},{"position":10000,"value":700,"values":[700,700]},{"position":10120,"value":640,"values":[650,630]},{"position":10240,"value":430,"values":[420,440]}],"pendingValues":[],"threePoint":10012,"fit":{"converged":false,"peak":null,"quality":null,"dropped":10240,"curve":[[9760,140],[10000,700],[10240,140]]},"check":{"passed":false,"reason":"too flat"},"result":9760,"outcome":"error","durationMs":0,"temperatureStart":3.5,"temperatureEnd":null}
{"time":"2026-11-03T01:00:00Z","driver":"ASCOM.Focuser.é","steps":9,"increment":1,"exposuresPerStep":1,"points":[{"position":-3,"value":0,"values":[0]}],"pendingValues":[7,-8],"threePoint":null,"fit":null,"check":null,"result":null,"outcome":"stopped","durationMs":4294967295,"temperatureStart":-12.5,"temperatureEnd":null}
)";

// The record that the sample's second line was written from.
RunRecord SampleFocusRecord() {
    RunRecord r;
    r.timeUtc = "2026-11-02T21:14:07Z";
    r.driverId = "QmSim.Focuser";
    r.steps = 5;
    r.increment = 120;
    r.exposuresPerStep = 2;
    r.points = {{9760, 410, {405, 415}},
                {9880, 620, {610, 630}},
                {10000, 700, {700, 700}},
                {10120, 640, {650, 630}},
                {10240, 430, {420, 440}}};
    RunVerdict v;
    v.threePoint = 10012;
    v.fitConverged = true;
    v.fitPeak = 10009.25;
    v.fitQuality = 0.9931;
    v.fitCurvePoints = 3;
    v.rowOrigin = 9760;
    v.rowUnit = 120;
    v.rowHighest = 4;
    v.fit.peak = 2;
    v.fit.height = 700;
    v.fit.index = 1;
    r.verdict = v;
    r.movedTo = 10012;
    r.outcome = RunOutcome::Focus;
    r.durationMs = 48213;
    r.temperatureAtStart = 3.5;
    r.temperatureAtEnd = 2.75;
    return r;
}

TEST(RecordFormats, TheFirstFormatReadsAndIsWrittenUnchanged) {
    const std::vector<std::string_view> lines = CompleteRecordLines(kFormat1Record);
    ASSERT_EQ(lines.size(), 4u);
    // Lines of this format carry no format number: they are written byte for byte as before.
    EXPECT_EQ(FormatRunRecordLine(SampleFocusRecord()), lines[1]);
    EXPECT_EQ(FormatRunRecordLine(SampleFocusRecord()).find("format"), std::string::npos);
    struct Expected {
        const char* driver;
        RunOutcome outcome;
        std::optional<int32_t> movedTo;
        std::optional<double> temperatureAtStart;
        bool verdict;
    };
    const std::vector<Expected> expected = {
        {"QmSim.Focuser", RunOutcome::Focus, 10012, std::nullopt, true},
        {"QmSim.Focuser", RunOutcome::Focus, 10012, 3.5, true},
        {"Caf\xc3\xa9 \"Focuser\"\t\\1", RunOutcome::Error, 9760, 3.5, true},
        {"ASCOM.Focuser.\xc3\xa9", RunOutcome::Stopped, std::nullopt, -12.5, false},
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::optional<RecordedRun> run = ReadRunRecordLine(lines[i]);
        ASSERT_TRUE(run) << lines[i];
        EXPECT_EQ(run->driverId, expected[i].driver) << i;
        EXPECT_EQ(run->outcome, expected[i].outcome) << i;
        EXPECT_EQ(run->movedTo, expected[i].movedTo) << i;
        EXPECT_EQ(run->temperatureAtStart, expected[i].temperatureAtStart) << i;
        EXPECT_EQ(run->verdict.has_value(), expected[i].verdict) << i;
    }
    EXPECT_EQ(*ReadRunRecordLine(lines[1]), RecordedRunOf(SampleFocusRecord()));

    // Kept over: the old lines stay as they are, and the page shows them with the new
    // run, and nothing else.
    MemoryStore store;
    store.files[kRecordPath] = kFormat1Record;
    KeepRunRecord(store, NumberedRun(1));
    EXPECT_EQ(store.files[kRecordPath], kFormat1Record + FormatRunRecordLine(NumberedRun(1)) + "\n");
    std::vector<RecordedRun> runs = {RecordedRunOf(NumberedRun(1))};
    for (size_t i = lines.size(); i-- > 0;)
        runs.push_back(*ReadRunRecordLine(lines[i]));
    EXPECT_EQ(store.files[kPagePath], ComposeRunPage(runs));
    EXPECT_EQ(TrimmedRecord(kFormat1Record), kFormat1Record);
}

// A line of a later format: the sample's focus line with a format number, a member this
// version does not know, and more.
std::string LaterLine(const std::string& from, const std::string& to) {
    std::string line(CompleteRecordLines(kFormat1Record)[1]);
    const size_t at = line.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? line : line.replace(at, from.size(), to);
}

TEST(RecordFormats, LinesOfLaterFormatsReadEveryKnownMember) {
    const RecordedRun sample = RecordedRunOf(SampleFocusRecord());
    RecordedRun withoutTemperatures = sample;
    withoutTemperatures.temperatureAtStart = withoutTemperatures.temperatureAtEnd = std::nullopt;
    RecordedRun unknownOutcome = sample;
    unknownOutcome.outcome = RunOutcome::Stopped;
    RecordedRun onlyTime;
    onlyTime.timeUtc = "2027-01-01T00:00:00Z";
    struct Case {
        const char* name;
        std::string line;
        std::optional<RecordedRun> read;
    };
    const std::vector<Case> cases = {
        {"format 2 and an unknown member",
         LaterLine("{\"time\"", "{\"format\":2,\"seeing\":{\"fwhm\":[1.5,2]},\"time\""), sample},
        {"format 1 named", LaterLine("{\"time\"", "{\"format\":1,\"time\""), sample},
        {"an outcome this version does not know",
         LaterLine("\"outcome\":\"focus\"", "\"format\":2,\"outcome\":\"settled\""), unknownOutcome},
        {"no temperatures", LaterLine(",\"temperatureStart\":3.5,\"temperatureEnd\":2.75", ",\"format\":4"),
         withoutTemperatures},
        {"hardly any member", "{\"format\":2,\"time\":\"2027-01-01T00:00:00Z\"}", onlyTime},
        {"format as text", LaterLine("{\"time\"", "{\"format\":\"2\",\"time\""), std::nullopt},
        {"format 0", LaterLine("{\"time\"", "{\"format\":0,\"time\""), std::nullopt},
        {"format 2.5", LaterLine("{\"time\"", "{\"format\":2.5,\"time\""), std::nullopt},
        {"not JSON after the format", LaterLine("{\"time\"", "{\"format\":2,,\"time\""), std::nullopt},
        {"no format", LaterLine("{\"time\"", "{\"seeing\":2,\"time\""), std::nullopt},
        {"an array", "[{\"format\":2}]", std::nullopt},
        {"blanks after the object", "{\"format\":2,\"time\":\"2027-01-01T00:00:00Z\"} ", std::nullopt},
        {"torn", LaterLine("{\"time\"", "{\"format\":2,\"time\"").substr(0, 200), std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadRunRecordLine(c.line), c.read) << c.name << ": " << c.line;

    // Members in another order, with blanks and another spelling of a number.
    std::string reordered = LaterLine(",\"temperatureStart\":3.5,\"temperatureEnd\":2.75}", "}");
    reordered.insert(1, " \"temperatureEnd\" : 2.75 , \"format\": 2, \"temperatureStart\":3.5e0 ,");
    EXPECT_EQ(ReadRunRecordLine(reordered), sample) << reordered;
    // A member with a value of another kind reads as if it were absent.
    const std::string otherKind = LaterLine(",\"temperatureStart\":3.5", ",\"temperatureStart\":\"warm\",\"format\":3");
    RecordedRun noStart = sample;
    noStart.temperatureAtStart = std::nullopt;
    EXPECT_EQ(ReadRunRecordLine(otherKind), noStart) << otherKind;
}

TEST(RecordFormats, TornFragmentsAreToldFromOtherText) {
    const std::string later = LaterLine("{\"time\"", "{\"format\":2,\"time\"");
    // Every line an append cut short is a torn fragment, whatever its format.
    for (const std::string& good : {std::string(CompleteRecordLines(kFormat1Record)[1]), later})
        for (size_t length = 1; length < good.size(); ++length)
            ASSERT_TRUE(IsTornRecordLine(std::string_view(good).substr(0, length))) << length << good;
    const std::vector<std::pair<std::string, bool>> cases = {
        {"", false},
        {"{", true},
        {"{\"steps\":1", true},
        {"{\"a\":\"\\u00", true},
        {"{\"a\":-", true},
        {"{\"a\":1e", true},
        {later, false},         // whole
        {"junk", false},        // not JSON
        {"[1,2", false},        // not a record's start
        {"{\"a\":1}x", false},  // text after a whole object
        {"{\"a\":tx", false},   // wrong before its end
        {"{\"a\" 1", false},
        {"{\"a\":01", false},
        {"{\"a\":\"\x01", false},
        {std::string(100, '{'), false},  // nested deeper than any record
    };
    for (const auto& [line, torn] : cases)
        EXPECT_EQ(IsTornRecordLine(line), torn) << line;
}

// The trim keeps the newest records of any format, and every line it cannot read.
TEST(RecordFormats, TheTrimKeepsLaterFormatsAndLinesItCannotRead) {
    const std::string later = LaterLine("{\"time\"", "{\"format\":2,\"seeing\":1.5,\"time\"");
    const std::string edited = "{\"time\": \"2026-12-01T00:00:00Z\", \"note\": \"by hand\"}";
    std::string full;
    for (int i = 0; i < static_cast<int>(kRunRecordTrimAbove); ++i) {
        full += FormatRunRecordLine(NumberedRun(i)) + "\n";
        if (i == 50)
            full += edited + "\n";
        if (i == static_cast<int>(kRunRecordTrimAbove) - 10)
            full += later + "\n";
    }
    MemoryStore store;
    store.files[kRecordPath] = full;
    KeepRunRecord(store, NumberedRun(static_cast<int>(kRunRecordTrimAbove)));
    const std::string& text = store.files[kRecordPath];
    EXPECT_EQ(Count(text, later + "\n"), 1u);
    EXPECT_EQ(Count(text, edited + "\n"), 1u);
    EXPECT_LT(text.find(edited), text.find(later));
    // 1,000 records: the later line is one of them.
    EXPECT_EQ(CompleteRecordLines(text).size(), kRunRecordLimit + 1);
    const std::string& page = store.files[kPagePath];
    EXPECT_NE(page.find("1 line of the record not shown"), std::string::npos);
    EXPECT_NE(page.find("QmSim.Focuser"), std::string::npos);
}

}  // namespace
}  // namespace qm::test
