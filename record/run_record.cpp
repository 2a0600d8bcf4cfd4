// The run record's JSON line, written with every field in a fixed order, and the
// trimming of the record file to its last lines.
#include "record/run_record.h"

#include "common/json_writer.h"

namespace qm {

namespace {

// A list of whole numbers as a JSON array.
void WriteWholeNumbers(JsonWriter& json, const std::vector<int32_t>& values) {
    json.BeginArray();
    for (int32_t value : values)
        json.Integer(value);
    json.EndArray();
}

void WriteOptionalNumber(JsonWriter& json, const std::optional<double>& value) {
    if (value)
        json.Number(*value);
    else
        json.Null();
}

// `value` as `width` digits with leading zeros; a value with more digits keeps its last
// `width` of them.
void AppendDigits(std::string& out, uint32_t value, size_t width) {
    std::string digits(width, '0');
    for (size_t i = width; i-- > 0; value /= 10)
        digits[i] = static_cast<char>('0' + value % 10);
    out += digits;
}

bool IsLeapYear(uint32_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

uint32_t DaysInYear(uint32_t year) {
    return IsLeapYear(year) ? 366 : 365;
}

}  // namespace

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
    const uint64_t seconds = fileTime / 10000000;
    const uint32_t secondOfDay = static_cast<uint32_t>(seconds % 86400);
    // The date counted forward from 1601-01-01 a year and then a month at a time: a few
    // hundred steps for any date of our time, once a run.
    uint32_t day = static_cast<uint32_t>(seconds / 86400);  // below 2^32 for any file time
    uint32_t year = 1601;
    while (day >= DaysInYear(year))
        day -= DaysInYear(year++);
    const uint32_t monthDays[] = {31, IsLeapYear(year) ? 29u : 28u, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    uint32_t month = 0;
    while (day >= monthDays[month])
        day -= monthDays[month++];

    // A year past 9999 loses its first digits.
    std::string out;
    AppendDigits(out, year, 4);
    out += '-';
    AppendDigits(out, month + 1, 2);
    out += '-';
    AppendDigits(out, day + 1, 2);
    out += 'T';
    AppendDigits(out, secondOfDay / 3600, 2);
    out += ':';
    AppendDigits(out, secondOfDay / 60 % 60, 2);
    out += ':';
    AppendDigits(out, secondOfDay % 60, 2);
    out += 'Z';
    return out;
}

std::string FormatRunRecordLine(const RunRecord& r) {
    std::string out;
    JsonWriter json(out);
    json.BeginObject();
    json.Key("time").String(r.timeUtc);
    json.Key("driver").String(r.driverId);
    json.Key("steps").Integer(r.steps);
    json.Key("increment").Integer(r.increment);
    json.Key("exposuresPerStep").Integer(r.exposuresPerStep);
    json.Key("points").BeginArray();
    for (const RunStep& p : r.points) {
        json.BeginObject();
        json.Key("position").Integer(p.position);
        json.Key("value").Integer(p.value);
        json.Key("values");
        WriteWholeNumbers(json, p.values);
        json.EndObject();
    }
    json.EndArray();
    json.Key("pendingValues");
    WriteWholeNumbers(json, r.pendingValues);
    if (r.verdict) {
        const RunVerdict& v = *r.verdict;
        json.Key("threePoint").Integer(v.threePoint);
        json.Key("fit").BeginObject();
        json.Key("converged").Bool(v.fitConverged);
        // Without a fit, its peak and quality are null whatever the record holds.
        if (v.fitConverged) {
            json.Key("peak").Number(v.fitPeak);
            json.Key("quality").Number(v.fitQuality);
        } else {
            json.Key("peak").Null();
            json.Key("quality").Null();
        }
        // A line the fit left out as off the curve is named; records without one read as before.
        if (v.droppedPosition != 0)
            json.Key("dropped").Integer(v.droppedPosition);
        json.Key("curve").BeginArray();
        for (int i = 0; i < v.fitCurvePoints; ++i) {
            const auto [x, y] = v.FitCurvePoint(i);
            json.BeginArray().Number(x).Number(y).EndArray();
        }
        json.EndArray();
        json.EndObject();
        json.Key("check").BeginObject();
        json.Key("passed").Bool(v.checkPassed);
        json.Key("reason").String(v.checkReason);
        json.EndObject();
    } else {
        json.Key("threePoint").Null();
        json.Key("fit").Null();
        json.Key("check").Null();
    }
    if (r.movedTo)
        json.Key("result").Integer(*r.movedTo);
    else
        json.Key("result").Null();
    json.Key("outcome").String(RunOutcomeName(r.outcome));
    json.Key("durationMs").Integer(r.durationMs);
    json.Key("temperatureStart");
    WriteOptionalNumber(json, r.temperatureAtStart);
    json.Key("temperatureEnd");
    WriteOptionalNumber(json, r.temperatureAtEnd);
    json.EndObject();
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

}  // namespace qm
