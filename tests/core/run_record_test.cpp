// The run record's JSON line, its file trimming, the page of the last runs and the
// writer of both files over in-memory files.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "app/run_page.h"
#include "app/run_record.h"
#include "app/run_recorder.h"
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
    v.fitCurve = {{900, 39.5}, {1000, 50.25}, {1100, 44.75}};
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
          "\"converged\":true", "\"peak\":1012.4", "\"quality\":0.987", "\"curve\":[[900,39.5],",
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

TEST(RunRecordLine, ReadsBackAsWritten) {
    RunRecord unconverged = FocusRecord();
    unconverged.verdict->fitConverged = false;
    unconverged.verdict->fitPeak = std::nan("");
    unconverged.verdict->fitQuality = std::nan("");
    unconverged.verdict->fitCurve.clear();
    unconverged.verdict->threePoint = 0;
    unconverged.outcome = RunOutcome::Error;
    unconverged.driverId = "a\"b\\c\nd\x01\xc3\xa9";
    for (const RunRecord& r : {FocusRecord(), StoppedRecord()}) {
        const std::optional<RunRecord> back = ParseRunRecordLine(FormatRunRecordLine(r));
        ASSERT_TRUE(back.has_value()) << FormatRunRecordLine(r);
        EXPECT_EQ(*back, r);
    }
    // NaN never equals itself: compare the rest of the unconverged record by its line.
    const std::optional<RunRecord> back = ParseRunRecordLine(FormatRunRecordLine(unconverged));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(FormatRunRecordLine(*back), FormatRunRecordLine(unconverged));
    EXPECT_EQ(back->driverId, unconverged.driverId);
    EXPECT_EQ(back->outcome, RunOutcome::Error);
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
        EXPECT_TRUE(ParseRunRecordLine(line).has_value()) << line;
    }
}

TEST(RunRecordLine, RefusesLinesThatAreNotRecords) {
    const std::string good = FormatRunRecordLine(FocusRecord());
    const std::vector<std::string> bad = {
        "",
        "not json",
        "[]",
        good.substr(0, good.size() - 1),
        good + "x",
        "{\"time\":\"t\"}",
        [&] {
            std::string s = good;
            s.replace(s.find("\"focus\""), 7, "\"lost\"");
            return s;
        }(),
        [&] {
            std::string s = good;
            s.replace(s.find("\"steps\":3"), 9, "\"steps\":3.5");
            return s;
        }(),
        [&] {
            std::string s = good;
            s.replace(s.find("\"steps\":3"), 9, "\"steps\":2147483648");
            return s;
        }(),
        std::string(100, '[') + std::string(100, ']'),
    };
    for (const std::string& line : bad)
        EXPECT_FALSE(ParseRunRecordLine(line).has_value()) << line;
}

TEST(RunRecordLine, UtcTimeIsIso8601) {
    EXPECT_EQ(FormatUtcTime(2026, 1, 31, 21, 5, 9), "2026-01-31T21:05:09Z");
    EXPECT_EQ(FormatUtcTime(987, 12, 1, 0, 0, 0), "0987-12-01T00:00:00Z");
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
    WriteRunRecordFiles(files, FocusRecord());
    const std::vector<std::string> lines = RunRecordLines(files.files[kRecordPath]);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], FormatRunRecordLine(FocusRecord()));
    const std::string& page = files.files[kPagePath];
    EXPECT_EQ(Count(page, "<svg"), 2u);  // the line that is not a record is left out
    EXPECT_LT(page.find("QmSim.Focuser"), page.find("not completed"));
}

TEST(RunRecordFiles, PageShowsTheNewestFiftyOfAFullFile) {
    RefusingFiles files;
    std::string text;
    for (const RunRecord& r : Numbered(60))
        text += FormatRunRecordLine(r) + "\n";
    text += "not a record\n";
    files.files[kRecordPath] = text;
    RunRecord newest = FocusRecord();
    newest.driverId = "Driver.Newest.";
    WriteRunRecordFiles(files, newest);
    const std::string& page = files.files[kPagePath];
    EXPECT_EQ(Count(page, "<svg"), 50u);
    EXPECT_LT(page.find("Driver.Newest."), page.find("Driver.N59."));
    EXPECT_NE(page.find("Driver.N11."), std::string::npos);
    EXPECT_EQ(page.find("Driver.N10."), std::string::npos);
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
