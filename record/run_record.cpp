// The run record's JSON line, written with every field in a fixed order; the trimming of
// the record file to its last lines; and the writing of both record files beside the
// program (see run_recorder.h).
#include "record/run_record.h"

#include <cmath>
#include <optional>

#include "record/run_page.h"
#include "record/run_recorder.h"
#include "common/decimal_text.h"

namespace qm {

const char* RunOutcomeName(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Focus:
            return "focus";
        case RunOutcome::Error:
            return "error";
        case RunOutcome::Stopped:
            return "stopped";
    }
    return "stopped";
}

std::string FormatUtcTime(uint64_t fileTime) {
    // The date counted forward from 1601-01-01 a year and then a month at a time: a few
    // hundred steps, once a run, in fewer bytes than the arithmetic of whole cycles.
    const uint64_t seconds = fileTime / 10000000;
    const uint64_t wholeDays = seconds / 86400;
    const uint32_t second = static_cast<uint32_t>(seconds - wholeDays * 86400);
    uint32_t day = static_cast<uint32_t>(wholeDays);
    int year = 1601;
    unsigned char monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (;;) {
        monthDays[1] = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0) ? 29 : 28;
        const uint32_t length = 337u + monthDays[1];
        if (day < length) break;
        day -= length, ++year;
    }
    int month = 0;
    while (day >= monthDays[month])
        day -= monthDays[month++];
    const int fields[] = {static_cast<int>(second % 60), static_cast<int>(second / 60 % 60),
                          static_cast<int>(second / 3600), static_cast<int>(day) + 1, month + 1, year};
    // The digits written from the last one back, each field's into its own zeros (a
    // year past 9999 loses its first digits).
    std::string out = "0000-00-00T00:00:00Z";
    const int* field = fields;
    int value = *field;
    for (size_t i = 19; i-- > 0;) {
        if (out[i] != '0') {
            value = *++field;
        } else if (value > 0) {
            out[i] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
    }
    return out;
}

std::string FormatRunRecordLine(const RunRecord& r) {
    std::string out;
    AppendPattern(out,
                  "{\"time\":\"$\",\"driver\":\"$\",\"steps\":^,\"increment\":^,\"exposuresPerStep\":^,"
                  "\"points\":[",
                  &r.timeUtc, &r.driverId, static_cast<double>(r.steps), static_cast<double>(r.increment),
                  static_cast<double>(r.exposuresPerStep));
    // Each point and each pair of the curve comes after a comma but the first: one pattern
    // for both, the first written from past its comma.
    static constexpr const char* kPoint = ",{\"position\":^,\"value\":^,\"values\":[";
    static constexpr const char* kCurvePair = ",[%,%]";
    const char* pattern = kPoint + 1;
    for (const RunStep& p : r.points) {
        AppendPattern(out, pattern, static_cast<double>(p.position), static_cast<double>(p.value));
        AppendWholeNumbers(out, p.values, ",", "]}");
        pattern = kPoint;
    }
    AppendPattern(out, "],\"pendingValues\":[");
    AppendWholeNumbers(out, r.pendingValues, ",", "]");
    if (r.verdict) {
        const RunVerdict& v = *r.verdict;
        // Without a fit, its peak and quality are null whatever the record holds.
        AppendPattern(out, ",\"threePoint\":^,\"fit\":{\"converged\":`,\"peak\":%,\"quality\":%",
                      static_cast<double>(v.threePoint), v.fitConverged ? "true" : "false",
                      v.fitConverged ? v.fitPeak : NAN, v.fitConverged ? v.fitQuality : NAN);
        // A line the fit left out as off the curve is named; records without one read as before.
        if (v.droppedPosition != 0) AppendPattern(out, ",\"dropped\":^", static_cast<double>(v.droppedPosition));
        AppendPattern(out, ",\"curve\":[");
        pattern = kCurvePair + 1;
        for (int i = 0; i < v.fitCurvePoints; ++i) {
            const auto [x, y] = v.FitCurvePoint(i);
            AppendPattern(out, pattern, x, y);
            pattern = kCurvePair;
        }
        AppendPattern(out, "]},\"check\":{\"passed\":`,\"reason\":\"$\"}", v.checkPassed ? "true" : "false",
                      &v.checkReason);
    } else {
        AppendPattern(out, ",\"threePoint\":null,\"fit\":null,\"check\":null");
    }
    AppendPattern(out, ",\"result\":%,\"outcome\":\"`\",\"durationMs\":^}",
                  r.movedTo ? static_cast<double>(*r.movedTo) : NAN, RunOutcomeName(r.outcome),
                  static_cast<double>(r.durationMs));
    return out;
}

std::string AppendRunRecordLine(std::string_view fileText, const std::string& line, size_t limit) {
    // Two passes over the text without splitting it: count the lines, then copy all
    // but the oldest that do not fit, each ended with LF.
    std::string out;
    size_t count = 0;
    for (int pass = 0; pass < 2; ++pass) {
        size_t index = 0, start = 0;
        for (size_t i = 0; i <= fileText.size(); ++i) {
            if (i < fileText.size() && fileText[i] != '\r' && fileText[i] != '\n')
                continue;
            if (i > start) {
                if (pass == 0)
                    ++count;
                else if (++index + limit > count) {
                    out.append(fileText.data() + start, i - start);
                    out += '\n';
                }
            }
            start = i + 1;
        }
        ++count;  // the new line
    }
    if (limit > 0) {
        out += line;
        out += '\n';
    }
    return out;
}

void WriteRunRecordFiles(SettingsFiles& files, const RunRecord& record) {
    // One path string for both files: the directory, then each file's name.
    std::string path = files.ProgramDirectory();
    const size_t directoryLength = path.size();
    if (directoryLength == 0)
        return;
    path.append(kRunRecordFileName);
    std::optional<std::string> old = files.ReadAll(path);
    if (!old && files.Exists(path))
        return;
    files.ReplaceAll(path, AppendRunRecordLine(old ? *old : std::string_view(), FormatRunRecordLine(record)));

    // The page is made from the old page and this run, so it shows this run even when
    // the record file could not be replaced. A page that cannot be read starts anew:
    // the record file still holds every run.
    path.erase(path.begin() + directoryLength, path.end());
    path.append(kRunPageFileName);
    const std::optional<std::string> page = files.ReadAll(path);
    files.ReplaceAll(path, ComposeRunPage(record, page ? *page : std::string_view()));
}

}  // namespace qm
