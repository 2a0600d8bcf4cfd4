// The strict reader of one record line: a cursor that expects, in turn, exactly the
// text FormatRunRecordLine writes. Numbers are read without the C library, whose
// conversions follow the locale: a whole number is exact, and a decimal (at most four
// decimals as written) is its digits divided once by a power of ten, the nearest
// double to the decimal.
#include "record/recorded_run.h"

#include <cmath>

#include "common/json_reader.h"

namespace qm {

namespace {

// Digits of a decimal beyond which a number is not one the record writes: the writer
// keeps its numbers below 2^53 in units of its last decimal.
constexpr size_t kMostDigits = 17;

class LineReader {
  public:
    explicit LineReader(std::string_view text) : text_(text) {}

    bool AtEnd() const { return at_ == text_.size(); }
    bool Ok() const { return ok_; }
    void Fail() { ok_ = false; }

    // Takes `literal` when the text goes on with it.
    bool Take(std::string_view literal) {
        if (!ok_ || text_.substr(at_, literal.size()) != literal)
            return false;
        at_ += literal.size();
        return true;
    }
    void Expect(std::string_view literal) {
        if (!Take(literal))
            ok_ = false;
    }
    int64_t Whole(int64_t lowest, int64_t highest) {
        const bool negative = Take("-");
        int64_t value = 0;
        size_t digits = 0;
        while (ok_ && at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9' && digits < kMostDigits) {
            value = value * 10 + (text_[at_++] - '0');
            ++digits;
        }
        // No digits, a leading zero, or more digits than any whole number the record holds.
        if (digits == 0 || (digits > 1 && text_[at_ - digits] == '0') || (at_ < text_.size() && IsDigit(text_[at_])))
            ok_ = false;
        if (negative)
            value = -value;
        if (negative && value == 0)
            ok_ = false;
        if (value < lowest || value > highest)
            ok_ = false;
        return ok_ ? value : 0;
    }
    int32_t Int32() { return static_cast<int32_t>(Whole(INT32_MIN, INT32_MAX)); }

    // A number as JsonWriter::Number writes it (AppendDecimal to four decimals, trimmed):
    // whole digits without a leading zero, then maybe a point and one to four decimals
    // without a trailing zero, in all fewer than 2^53 units of the last decimal; never "-0".
    double Decimal() {
        const bool negative = Take("-");
        int64_t units = 0;
        const size_t first = at_;
        while (ok_ && at_ < text_.size() && IsDigit(text_[at_]) && at_ - first < kMostDigits)
            units = units * 10 + (text_[at_++] - '0');
        const size_t digits = at_ - first;
        if (digits == 0 || (digits > 1 && text_[first] == '0'))
            ok_ = false;
        int decimals = 0;
        if (ok_ && Take(".")) {
            while (at_ < text_.size() && IsDigit(text_[at_]) && decimals < 4) {
                units = units * 10 + (text_[at_++] - '0');
                ++decimals;
            }
            if (decimals == 0 || text_[at_ - 1] == '0')
                ok_ = false;
        }
        if ((at_ < text_.size() && IsDigit(text_[at_])) || units >= int64_t{1} << 53 || (negative && units == 0))
            ok_ = false;
        if (!ok_)
            return 0;
        constexpr double kPowers[] = {1, 10, 100, 1000, 10000};
        const double value = static_cast<double>(units) / kPowers[decimals];
        return negative ? -value : value;
    }
    // A number or null; null reads as NaN.
    double DecimalOrNull() { return Take("null") ? NAN : Decimal(); }
    std::optional<double> OptionalDecimal() {
        if (Take("null"))
            return std::nullopt;
        return Decimal();
    }

    bool Bool() {
        if (Take("true"))
            return true;
        Expect("false");
        return false;
    }

    // A JSON string with the escapes AppendJsonEscaped writes: \" \\ \n \r \t and \u00XX.
    std::string String() {
        std::string out;
        Expect("\"");
        while (ok_) {
            if (at_ == text_.size())
                return ok_ = false, out;
            const unsigned char c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"')
                return out;
            if (c < 0x20 || c == 0x7F) {
                ok_ = false;
            } else if (c != '\\') {
                out += static_cast<char>(c);
            } else if (Take("\"") || Take("\\")) {
                out += text_[at_ - 1];
            } else if (Take("n")) {
                out += '\n';
            } else if (Take("r")) {
                out += '\r';
            } else if (Take("t")) {
                out += '\t';
            } else if (Take("u00") && at_ + 2 <= text_.size() && IsHex(text_[at_]) && IsHex(text_[at_ + 1])) {
                const unsigned code = HexValue(text_[at_]) << 4 | HexValue(text_[at_ + 1]);
                at_ += 2;
                // A byte that was not UTF-8 comes back as the Latin-1 character the writer took it for.
                if (code < 0x80) {
                    out += static_cast<char>(code);
                } else {
                    out += static_cast<char>(0xC0 | code >> 6);
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
            } else {
                ok_ = false;
            }
        }
        return out;
    }

    // `[a,b,...]` of whole numbers.
    std::vector<int32_t> WholeNumbers() {
        std::vector<int32_t> values;
        Expect("[");
        if (Take("]"))
            return values;
        do
            values.push_back(Int32());
        while (ok_ && Take(","));
        Expect("]");
        return values;
    }

  private:
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    // Lower-case hex, as the writer writes it.
    static bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f'); }
    static unsigned HexValue(char c) { return IsDigit(c) ? unsigned(c - '0') : unsigned(c - 'a' + 10); }

    std::string_view text_;
    size_t at_ = 0;
    bool ok_ = true;
};

std::vector<RunStep> ReadPoints(LineReader& in) {
    std::vector<RunStep> points;
    in.Expect("[");
    if (in.Take("]"))
        return points;
    do {
        RunStep p;
        in.Expect("{");
        in.Expect("\"position\":");
        p.position = in.Int32();
        in.Expect(",\"value\":");
        p.value = in.Int32();
        in.Expect(",\"values\":");
        p.values = in.WholeNumbers();
        in.Expect("}");
        points.push_back(std::move(p));
    } while (in.Ok() && in.Take(","));
    in.Expect("]");
    return points;
}

// The members threePoint, fit and check: all three null, or all three given.
std::optional<RecordedVerdict> ReadVerdict(LineReader& in) {
    in.Expect(",\"threePoint\":");
    if (in.Take("null")) {
        in.Expect(",\"fit\":");
        in.Expect("null");
        in.Expect(",\"check\":");
        in.Expect("null");
        return std::nullopt;
    }
    RecordedVerdict v;
    v.threePoint = in.Int32();
    in.Expect(",\"fit\":");
    in.Expect("{");
    in.Expect("\"converged\":");
    v.fitConverged = in.Bool();
    in.Expect(",\"peak\":");
    v.fitPeak = in.DecimalOrNull();
    in.Expect(",\"quality\":");
    v.fitQuality = in.DecimalOrNull();
    if (in.Take(",\"dropped\":")) {
        v.droppedPosition = in.Int32();
        if (v.droppedPosition == 0)
            in.Fail();  // the writer leaves "dropped" out for 0
    }
    in.Expect(",\"curve\":");
    in.Expect("[");
    if (!in.Take("]")) {
        do {
            in.Expect("[");
            const double x = in.DecimalOrNull();
            in.Expect(",");
            const double y = in.DecimalOrNull();
            in.Expect("]");
            v.curve.emplace_back(x, y);
        } while (in.Ok() && in.Take(","));
        in.Expect("]");
    }
    in.Expect("}");
    in.Expect(",\"check\":");
    in.Expect("{");
    in.Expect("\"passed\":");
    v.checkPassed = in.Bool();
    in.Expect(",\"reason\":");
    v.checkReason = in.String();
    in.Expect("}");
    return v;
}

// ---- Lines that name their format: members by name ----

void TakeInt32(const JsonValue& object, std::string_view name, int32_t& into) {
    if (const JsonValue* v = object.Member(name))
        if (const auto whole = v->Whole(INT32_MIN, INT32_MAX))
            into = static_cast<int32_t>(*whole);
}

void TakeText(const JsonValue& object, std::string_view name, std::string& into) {
    if (const JsonValue* v = object.Member(name); v && v->kind == JsonValue::Kind::String)
        into = v->text;
}

// A number, or NaN for null and anything else.
double NumberOrNaN(const JsonValue* v) {
    return v && v->kind == JsonValue::Kind::Number ? v->number : NAN;
}

std::optional<double> OptionalNumber(const JsonValue* v) {
    if (v && v->kind == JsonValue::Kind::Number)
        return v->number;
    return std::nullopt;
}

std::vector<int32_t> WholeNumbersOf(const JsonValue* v) {
    std::vector<int32_t> values;
    if (v && v->kind == JsonValue::Kind::Array)
        for (const JsonValue& item : v->items)
            if (const auto whole = item.Whole(INT32_MIN, INT32_MAX))
                values.push_back(static_cast<int32_t>(*whole));
    return values;
}

std::optional<RecordedVerdict> VerdictOf(const JsonValue& line) {
    const JsonValue* threePoint = line.Member("threePoint");
    const JsonValue* fit = line.Member("fit");
    const JsonValue* check = line.Member("check");
    const auto given = [](const JsonValue* v) { return v && v->kind != JsonValue::Kind::Null; };
    if (!given(threePoint) && !given(fit) && !given(check))
        return std::nullopt;
    RecordedVerdict v;
    TakeInt32(line, "threePoint", v.threePoint);
    if (fit && fit->kind == JsonValue::Kind::Object) {
        if (const JsonValue* converged = fit->Member("converged");
            converged && converged->kind == JsonValue::Kind::Bool)
            v.fitConverged = converged->boolean;
        v.fitPeak = NumberOrNaN(fit->Member("peak"));
        v.fitQuality = NumberOrNaN(fit->Member("quality"));
        TakeInt32(*fit, "dropped", v.droppedPosition);
        if (const JsonValue* curve = fit->Member("curve"); curve && curve->kind == JsonValue::Kind::Array)
            for (const JsonValue& point : curve->items)
                if (point.kind == JsonValue::Kind::Array && point.items.size() >= 2)
                    v.curve.emplace_back(NumberOrNaN(&point.items[0]), NumberOrNaN(&point.items[1]));
    }
    if (check && check->kind == JsonValue::Kind::Object) {
        if (const JsonValue* passed = check->Member("passed"); passed && passed->kind == JsonValue::Kind::Bool)
            v.checkPassed = passed->boolean;
        TakeText(*check, "reason", v.checkReason);
    }
    return v;
}

RecordedRun RunOfNamedMembers(const JsonValue& line) {
    RecordedRun r;
    TakeText(line, "time", r.timeUtc);
    TakeText(line, "driver", r.driverId);
    TakeInt32(line, "steps", r.steps);
    TakeInt32(line, "increment", r.increment);
    TakeInt32(line, "exposuresPerStep", r.exposuresPerStep);
    if (const JsonValue* points = line.Member("points"); points && points->kind == JsonValue::Kind::Array) {
        for (const JsonValue& point : points->items) {
            if (point.kind != JsonValue::Kind::Object)
                continue;
            RunStep step;
            TakeInt32(point, "position", step.position);
            TakeInt32(point, "value", step.value);
            step.values = WholeNumbersOf(point.Member("values"));
            r.points.push_back(std::move(step));
        }
    }
    r.pendingValues = WholeNumbersOf(line.Member("pendingValues"));
    r.verdict = VerdictOf(line);
    if (const JsonValue* result = line.Member("result"))
        if (const auto whole = result->Whole(INT32_MIN, INT32_MAX))
            r.movedTo = static_cast<int32_t>(*whole);
    std::string outcome;
    TakeText(line, "outcome", outcome);
    for (RunOutcome o : {RunOutcome::Focus, RunOutcome::Error, RunOutcome::Stopped})
        if (outcome == RunOutcomeName(o))
            r.outcome = o;
    if (const JsonValue* duration = line.Member("durationMs"))
        if (const auto whole = duration->Whole(0, UINT32_MAX))
            r.durationMs = static_cast<uint32_t>(*whole);
    r.temperatureAtStart = OptionalNumber(line.Member("temperatureStart"));
    r.temperatureAtEnd = OptionalNumber(line.Member("temperatureEnd"));
    return r;
}

std::optional<RecordedRun> ReadStrictly(std::string_view line) {
    LineReader in(line);
    RecordedRun r;
    in.Expect("{");
    in.Expect("\"time\":");
    r.timeUtc = in.String();
    in.Expect(",\"driver\":");
    r.driverId = in.String();
    in.Expect(",\"steps\":");
    r.steps = in.Int32();
    in.Expect(",\"increment\":");
    r.increment = in.Int32();
    in.Expect(",\"exposuresPerStep\":");
    r.exposuresPerStep = in.Int32();
    in.Expect(",\"points\":");
    r.points = ReadPoints(in);
    in.Expect(",\"pendingValues\":");
    r.pendingValues = in.WholeNumbers();
    r.verdict = ReadVerdict(in);
    in.Expect(",\"result\":");
    if (!in.Take("null"))
        r.movedTo = in.Int32();
    in.Expect(",\"outcome\":");
    const std::string outcome = in.String();
    bool known = false;
    for (RunOutcome o : {RunOutcome::Focus, RunOutcome::Error, RunOutcome::Stopped}) {
        if (outcome == RunOutcomeName(o)) {
            r.outcome = o;
            known = true;
        }
    }
    if (!known)
        in.Fail();
    in.Expect(",\"durationMs\":");
    r.durationMs = static_cast<uint32_t>(in.Whole(0, UINT32_MAX));
    // Lines written before the temperatures were kept end here.
    if (!in.Take("}")) {
        in.Expect(",\"temperatureStart\":");
        r.temperatureAtStart = in.OptionalDecimal();
        in.Expect(",\"temperatureEnd\":");
        r.temperatureAtEnd = in.OptionalDecimal();
        in.Expect("}");
    }
    if (!in.Ok() || !in.AtEnd())
        return std::nullopt;
    return r;
}

}  // namespace

std::optional<RecordedRun> ReadRunRecordLine(std::string_view line) {
    if (std::optional<RecordedRun> run = ReadStrictly(line))
        return run;
    // Only the object itself: a line with blanks after it is not one a program wrote.
    JsonValue json;
    if (line.empty() || line.back() != '}' || ReadJson(line, json) != JsonRead::Value)
        return std::nullopt;
    const JsonValue* format = json.Member("format");
    if (!format || !format->Whole(1, INT32_MAX))
        return std::nullopt;
    return RunOfNamedMembers(json);
}

bool IsTornRecordLine(std::string_view line) {
    JsonValue json;
    return !line.empty() && line.front() == '{' && ReadJson(line, json) == JsonRead::CutShort;
}

RecordedRun RecordedRunOf(const RunRecord& record) {
    // The writer writes nothing that its reader refuses (the fuzz target of the record
    // checks it); should it ever, the page still names the run.
    if (std::optional<RecordedRun> read = ReadRunRecordLine(FormatRunRecordLine(record)))
        return std::move(*read);
    RecordedRun r;
    r.timeUtc = record.timeUtc;
    r.driverId = record.driverId;
    r.outcome = record.outcome;
    return r;
}

}  // namespace qm
