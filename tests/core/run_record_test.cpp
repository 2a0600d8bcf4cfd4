// The run record's JSON line, its file trimming, the page of the last runs and the
// writer of both files over in-memory files.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "record/run_page.h"
#include "record/run_record.h"
#include "record/run_recorder.h"
#include "tests/core/form_fakes.h"

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

// The lines of a record file, blank lines dropped; CR LF, LF and CR each end a line.
std::vector<std::string> RunRecordLines(const std::string& fileText) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i <= fileText.size(); ++i) {
        if (i < fileText.size() && fileText[i] != '\r' && fileText[i] != '\n')
            continue;
        if (i > start)
            lines.push_back(fileText.substr(start, i - start));
        start = i + 1;
    }
    return lines;
}

TEST(RunRecordFile, KeepsTheLastThousandLines) {
    struct Case {
        size_t before;
        size_t after;
    };
    for (const Case& c : std::vector<Case>{{0, 1}, {998, 999}, {999, 1000}, {1000, 1000}, {1500, 1000}}) {
        std::string text;
        for (size_t i = 0; i < c.before; ++i)
            text += "line" + std::to_string(i) + "\r\n";
        const std::vector<std::string> lines = RunRecordLines(AppendRunRecordLine(text, "new"));
        ASSERT_EQ(lines.size(), c.after) << c.before;
        EXPECT_EQ(lines.back(), "new");
        if (c.before + 1 > kRunRecordLimit)
            EXPECT_EQ(lines.front(), "line" + std::to_string(c.before + 1 - 1000));
    }
}

TEST(RunRecordFile, LineEndsAndBlankLines) {
    EXPECT_EQ(AppendRunRecordLine("a\r\n\r\nb\rc\n\n", "d"), "a\nb\nc\nd\n");
    EXPECT_EQ(AppendRunRecordLine("a", "b", 1), "b\n");
    EXPECT_EQ(AppendRunRecordLine("a\r\nb\r\nc", "d", 2), "c\nd\n");
    EXPECT_EQ(AppendRunRecordLine("", "d", 3), "d\n");
    EXPECT_EQ(AppendRunRecordLine("\n\r\n", "d", 3), "d\n");
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
    const std::string page = ComposeRunPage(record, "");
    const size_t begin = page.find(kRunSectionBegin);
    const size_t end = page.find(kRunSectionEnd);
    return page.substr(begin, end + std::string(kRunSectionEnd).size() - begin);
}

// The page after recording `records`, given oldest first, one after the other.
std::string RenderRunPage(const std::vector<RunRecord>& records) {
    std::string page;
    for (const RunRecord& r : records)
        page = ComposeRunPage(r, page);
    return page;
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
    EXPECT_EQ(Count(page, "<svg"), 4u);
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
    const std::string page = RenderRunPage({FocusRecord()});
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
    const std::string page = RenderRunPage({r});
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
<text x="62" y="224">890</text>
<text x="426" y="224" text-anchor="end">1110</text>
<text x="56" y="24" text-anchor="end">54</text>
<text x="56" y="206" text-anchor="end">0</text>
<line x1="287.0" y1="14" x2="287.0" y2="206" stroke="#139a2a" stroke-width="3"/>
<line x1="264.5" y1="14" x2="264.5" y2="206" stroke="#c81e1e" stroke-width="3" stroke-dasharray="6,4"/>
<polyline fill="none" stroke="#e07800" stroke-width="3" points="78.5,117.1 244.0,28.2 409.5,117.1 "/>
<circle cx="78.5" cy="63.8" r="2.5" fill="#9aa6b8"/>
<circle cx="78.5" cy="134.9" r="2.5" fill="#9aa6b8"/>
<circle cx="78.5" cy="63.8" r="5" fill="#1f5fbf"/>
<circle cx="244.0" cy="206.0" r="2.5" fill="#9aa6b8"/>
<circle cx="244.0" cy="28.2" r="2.5" fill="#9aa6b8"/>
<circle cx="244.0" cy="28.2" r="5" fill="#1f5fbf"/>
<circle cx="409.5" cy="46.0" r="2.5" fill="#9aa6b8"/>
<circle cx="409.5" cy="46.0" r="2.5" fill="#9aa6b8"/>
<circle cx="409.5" cy="46.0" r="5" fill="#1f5fbf"/>
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
        {ComposeRunPage(StoppedRecord(), ""),
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
<p><span style="background:#1f5fbf"></span>step value<span style="background:#e07800"></span>fitted curve<span style="background:#139a2a"></span>three-point result<span style="background:#c81e1e"></span>fitted peak</p>
<!--run-->
<div>
<svg width="440" height="240">
<rect x="62" y="14" width="364" height="192" fill="#fff" stroke="#8a8a8a"/>
<text x="62" y="224">-6</text>
<text x="426" y="224" text-anchor="end">-4</text>
<text x="56" y="24" text-anchor="end">1</text>
<text x="56" y="206" text-anchor="end">0</text>
<circle cx="244.0" cy="206.0" r="2.5" fill="#9aa6b8"/>
<circle cx="244.0" cy="206.0" r="5" fill="#1f5fbf"/>
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

// A page written before the page's text was made shorter keeps its sections as they
// are, after the new run's.
TEST(RunPage, OlderSectionsAreCarriedOverAsTheyAre) {
    const std::string older =
        "<!--run-->\n<div class=\"run\">\n<svg class=\"plot\" width=\"440\" height=\"240\" viewBox=\"0 0 440 "
        "240\">\n<text x=\"62.0\" y=\"224.0\">890</text>\n</svg>\n<table class=\"numbers\">\n<tr><th>Driver</th><td>"
        "Old.Driver</td></tr>\n</table>\n</div>\n<!--/run-->\n";
    const std::string section = SectionOf(FocusRecord());
    const std::string page = ComposeRunPage(FocusRecord(), "<html><body>\n" + older + older + "</body></html>\n");
    EXPECT_NE(page.find(section + older + older + "</body>"), std::string::npos);
    EXPECT_NE(page.find("The last 3 recorded runs, newest first."), std::string::npos);
}

TEST(RunPage, RunWithoutAResultHasNoMarks) {
    const std::string page = RenderRunPage({StoppedRecord()});
    EXPECT_EQ(Count(page, "<line "), 0u);
    EXPECT_EQ(Count(page, "<polyline"), 0u);
    EXPECT_NE(page.find("not completed (7, 8)"), std::string::npos);
}

// Files in memory whose writes can be refused, and whose reads can fail.
class RefusingFiles : public MemoryFiles {
  public:
    std::set<std::string> refuseWrite;
    std::set<std::string> refuseRead;
    std::optional<std::string> ReadAll(const std::string& p) override {
        if (refuseRead.count(p))
            return std::nullopt;
        return MemoryFiles::ReadAll(p);
    }
    bool ReplaceAll(const std::string& p, const std::string& c) override {
        if (refuseWrite.count(p))
            return false;
        return MemoryFiles::ReplaceAll(p, c);
    }
};

constexpr const char* kRecordPath = "C:\\prog\\autofocus-runs.jsonl";
constexpr const char* kPagePath = "C:\\prog\\autofocus-runs.htm";

TEST(RunRecordFiles, AppendsTheLineAndRewritesThePage) {
    RefusingFiles files;
    files.files[kRecordPath] = FormatRunRecordLine(StoppedRecord()) + "\r\ngarbage\r\n";
    files.files[kPagePath] = RenderRunPage({StoppedRecord()});
    WriteRunRecordFiles(files, FocusRecord());
    const std::vector<std::string> lines = RunRecordLines(files.files[kRecordPath]);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], FormatRunRecordLine(FocusRecord()));
    const std::string& page = files.files[kPagePath];
    EXPECT_EQ(page, RenderRunPage({StoppedRecord(), FocusRecord()}));
    EXPECT_EQ(Count(page, "<svg"), 2u);
    EXPECT_LT(page.find("QmSim.Focuser"), page.find("not completed"));
    EXPECT_NE(page.find("The last 2 recorded runs, newest first."), std::string::npos);
}

TEST(RunRecordFiles, PageShowsTheNewestFifty) {
    RefusingFiles files;
    for (const RunRecord& r : Numbered(60))
        WriteRunRecordFiles(files, r);
    RunRecord newest = FocusRecord();
    newest.driverId = "Driver.Newest.";
    WriteRunRecordFiles(files, newest);
    EXPECT_EQ(RunRecordLines(files.files[kRecordPath]).size(), 61u);
    const std::string& page = files.files[kPagePath];
    EXPECT_EQ(Count(page, "<svg"), 50u);
    EXPECT_EQ(Count(page, kRunSectionBegin), 50u);
    EXPECT_EQ(Count(page, kRunSectionEnd), 50u);
    EXPECT_NE(page.find("The last 50 recorded runs, newest first."), std::string::npos);
    EXPECT_LT(page.find("Driver.Newest."), page.find("Driver.N59."));
    EXPECT_NE(page.find("Driver.N11."), std::string::npos);
    EXPECT_EQ(page.find("Driver.N10."), std::string::npos);
}

// A page the program cannot use (not there, not readable, not its own, cut short)
// gives way to a page of the new run alone.
TEST(RunRecordFiles, UnusablePageStartsAnew) {
    const std::string section = SectionOf(StoppedRecord());
    struct Case {
        const char* name;
        std::optional<std::string> oldPage;  // nothing: the page cannot be read
    };
    const std::vector<Case> cases = {
        {"none", std::nullopt},
        {"foreign", "<html><body>someone else's page</body></html>"},
        {"cut short", "<html>" + section.substr(0, section.size() - 4)},
        {"empty", ""},
    };
    for (const Case& c : cases) {
        RefusingFiles files;
        files.files[kPagePath] = c.oldPage.value_or("old");
        if (!c.oldPage)
            files.refuseRead = {kPagePath};
        WriteRunRecordFiles(files, FocusRecord());
        const std::string& page = files.files[kPagePath];
        EXPECT_EQ(page, RenderRunPage({FocusRecord()})) << c.name;
        EXPECT_NE(page.find("The last recorded run."), std::string::npos) << c.name;
        EXPECT_EQ(RunRecordLines(files.files[kRecordPath]).size(), 1u) << c.name;
    }
}

TEST(RunRecordFiles, FailuresAreSilentAndLoseNothingElse) {
    {
        RefusingFiles files;
        files.refuseWrite = {kRecordPath, kPagePath};
        EXPECT_NO_THROW(WriteRunRecordFiles(files, FocusRecord()));
        EXPECT_TRUE(files.files.empty());
    }
    {
        // The record file exists but cannot be read: it is not replaced by one line.
        RefusingFiles files;
        files.files[kRecordPath] = "old";
        files.refuseRead = {kRecordPath};
        WriteRunRecordFiles(files, FocusRecord());
        EXPECT_EQ(files.files[kRecordPath], "old");
    }
    {
        // The record file cannot be written: the page still shows the run.
        RefusingFiles files;
        files.refuseWrite = {kRecordPath};
        WriteRunRecordFiles(files, FocusRecord());
        EXPECT_EQ(files.files.count(kRecordPath), 0u);
        EXPECT_EQ(Count(files.files[kPagePath], "<svg"), 1u);
    }
}

}  // namespace
}  // namespace qm::test
