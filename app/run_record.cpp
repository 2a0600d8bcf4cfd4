// The run record's JSON line: written with every field in a fixed order, read back by
// a small strict parser (the page is rebuilt from the file, so records written by an
// earlier run of the program must read back as they were written).
#include "app/run_record.h"

#include <cmath>
#include <limits>

#include "common/decimal_text.h"

namespace qm {

namespace {

// ---- Writing ----

// Length of the valid UTF-8 sequence at text[i], or 0 when none starts there.
size_t Utf8SequenceLength(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    uint32_t min = 0;
    uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, min = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, min = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, min = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

void AppendHexEscape(std::string& out, unsigned value) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u00";
    out += kHex[(value >> 4) & 0xF];
    out += kHex[value & 0xF];
}

// A JSON string. Bytes that are not valid UTF-8 are taken as Latin-1 and escaped, so
// that the line stays valid JSON whatever text it is given.
void AppendJsonString(std::string& out, const std::string& text) {
    out += '"';
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const size_t length = Utf8SequenceLength(text, i);
            if (length == 0) {
                AppendHexEscape(out, c);
                ++i;
            } else {
                out.append(text, i, length);
                i += length;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F)
                    AppendHexEscape(out, c);
                else
                    out += static_cast<char>(c);
        }
        ++i;
    }
    out += '"';
}

// Positions, values and fit figures to four decimals, more than a plot or a reader needs;
// null for what JSON cannot hold (and for a number too large to round exactly).
void AppendJsonNumber(std::string& out, double value) {
    const std::string text = TrimmedDecimal(value, 4);
    out += text.empty() ? "null" : text;
}

void AppendJsonNumber(std::string& out, int64_t value) {
    out += std::to_string(value);
}

void AppendIntArray(std::string& out, const std::vector<int32_t>& values) {
    out += '[';
    for (size_t i = 0; i < values.size(); ++i) {
        if (i)
            out += ',';
        AppendJsonNumber(out, static_cast<int64_t>(values[i]));
    }
    out += ']';
}

// ---- Reading ----

struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<std::string> keys;  // of an object, beside its values in `items`
    std::vector<Json> items;

    const Json* Member(const std::string& key) const {
        if (kind != Kind::Object)
            return nullptr;
        for (size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == key)
                return &items[i];
        return nullptr;
    }
};

class JsonReader {
  public:
    explicit JsonReader(const std::string& text) : text_(text) {}

    std::optional<Json> ReadDocument() {
        Json value;
        if (!ReadValue(value, 0))
            return std::nullopt;
        SkipSpace();
        if (pos_ != text_.size())
            return std::nullopt;
        return value;
    }

  private:
    // Records are shallow; the limit only keeps a hostile line from exhausting the stack.
    static constexpr int kMaxDepth = 16;

    void SkipSpace() {
        while (pos_ < text_.size() &&
               (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r' || text_[pos_] == '\n'))
            ++pos_;
    }
    bool Take(char c) {
        SkipSpace();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool TakeWord(const char* word) {
        const std::string w(word);
        if (text_.compare(pos_, w.size(), w) != 0)
            return false;
        pos_ += w.size();
        return true;
    }

    bool ReadValue(Json& out, int depth) {
        if (depth > kMaxDepth)
            return false;
        SkipSpace();
        if (pos_ >= text_.size())
            return false;
        const char c = text_[pos_];
        if (c == '{')
            return ReadObject(out, depth);
        if (c == '[')
            return ReadArray(out, depth);
        if (c == '"') {
            out.kind = Json::Kind::String;
            return ReadString(out.text);
        }
        if (TakeWord("null"))
            return out.kind = Json::Kind::Null, true;
        if (TakeWord("true"))
            return out.kind = Json::Kind::Bool, out.boolean = true, true;
        if (TakeWord("false"))
            return out.kind = Json::Kind::Bool, out.boolean = false, true;
        return ReadNumber(out);
    }

    bool ReadObject(Json& out, int depth) {
        out.kind = Json::Kind::Object;
        ++pos_;
        if (Take('}'))
            return true;
        do {
            SkipSpace();
            std::string key;
            if (pos_ >= text_.size() || text_[pos_] != '"' || !ReadString(key) || !Take(':'))
                return false;
            Json value;
            if (!ReadValue(value, depth + 1))
                return false;
            out.keys.push_back(std::move(key));
            out.items.push_back(std::move(value));
        } while (Take(','));
        return Take('}');
    }

    bool ReadArray(Json& out, int depth) {
        out.kind = Json::Kind::Array;
        ++pos_;
        if (Take(']'))
            return true;
        do {
            Json value;
            if (!ReadValue(value, depth + 1))
                return false;
            out.items.push_back(std::move(value));
        } while (Take(','));
        return Take(']');
    }

    bool ReadNumber(Json& out) {
        const char* begin = text_.data() + pos_;
        const char* end = text_.data() + text_.size();
        const char* stop = ReadJsonNumber(begin, end, out.number);
        if (stop == nullptr)
            return false;
        pos_ += static_cast<size_t>(stop - begin);
        out.kind = Json::Kind::Number;
        return true;
    }

    bool ReadHex4(uint32_t& value) {
        if (pos_ + 4 > text_.size())
            return false;
        value = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text_[pos_++];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= static_cast<uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= static_cast<uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= static_cast<uint32_t>(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    static void AppendUtf8(std::string& out, uint32_t code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool ReadString(std::string& out) {
        ++pos_;  // the opening quote
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size())
                return false;
            const char e = text_[pos_++];
            switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    uint32_t code = 0;
                    if (!ReadHex4(code))
                        return false;
                    if (code >= 0xD800 && code <= 0xDBFF) {
                        uint32_t low = 0;
                        if (!TakeWord("\\u") || !ReadHex4(low) || low < 0xDC00 || low > 0xDFFF)
                            return false;
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    } else if (code >= 0xDC00 && code <= 0xDFFF) {
                        return false;
                    }
                    AppendUtf8(out, code);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }

    const std::string& text_;
    size_t pos_ = 0;
};

// Field readers: each fails (returns false) when the field is missing or of another kind.
bool ReadInt(const Json* value, int64_t min, int64_t max, int64_t& out) {
    if (!value || value->kind != Json::Kind::Number)
        return false;
    const double n = value->number;
    if (!(n >= static_cast<double>(min) && n <= static_cast<double>(max)) || std::trunc(n) != n)
        return false;
    out = static_cast<int64_t>(n);
    return true;
}
bool ReadInt32(const Json* value, int32_t& out) {
    int64_t n = 0;
    if (!ReadInt(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), n))
        return false;
    out = static_cast<int32_t>(n);
    return true;
}
bool ReadInt32Array(const Json* value, std::vector<int32_t>& out) {
    if (!value || value->kind != Json::Kind::Array)
        return false;
    for (const Json& item : value->items) {
        int32_t n = 0;
        if (!ReadInt32(&item, n))
            return false;
        out.push_back(n);
    }
    return true;
}
bool ReadText(const Json* value, std::string& out) {
    if (!value || value->kind != Json::Kind::String)
        return false;
    out = value->text;
    return true;
}
bool ReadBool(const Json* value, bool& out) {
    if (!value || value->kind != Json::Kind::Bool)
        return false;
    out = value->boolean;
    return true;
}
// A number that may have been written as null (not finite).
bool ReadReal(const Json* value, double& out) {
    if (!value)
        return false;
    if (value->kind == Json::Kind::Null)
        return out = std::numeric_limits<double>::quiet_NaN(), true;
    if (value->kind != Json::Kind::Number)
        return false;
    out = value->number;
    return true;
}
bool IsNull(const Json* value) {
    return value && value->kind == Json::Kind::Null;
}

bool ReadVerdict(const Json& root, RunVerdict& verdict) {
    const Json* fit = root.Member("fit");
    const Json* check = root.Member("check");
    if (!ReadInt32(root.Member("threePoint"), verdict.threePoint) || !fit || !check)
        return false;
    if (!ReadBool(fit->Member("converged"), verdict.fitConverged) || !ReadReal(fit->Member("peak"), verdict.fitPeak) ||
        !ReadReal(fit->Member("quality"), verdict.fitQuality))
        return false;
    const Json* curve = fit->Member("curve");
    if (!curve || curve->kind != Json::Kind::Array)
        return false;
    for (const Json& pair : curve->items) {
        if (pair.kind != Json::Kind::Array || pair.items.size() != 2)
            return false;
        double x = 0, y = 0;
        if (!ReadReal(&pair.items[0], x) || !ReadReal(&pair.items[1], y))
            return false;
        verdict.fitCurve.emplace_back(x, y);
    }
    return ReadBool(check->Member("passed"), verdict.checkPassed) &&
           ReadText(check->Member("reason"), verdict.checkReason);
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

std::string FormatUtcTime(int year, int month, int day, int hour, int minute, int second) {
    const auto digits = [](int value, size_t width) {
        std::string text = std::to_string(value < 0 ? 0 : value);
        return text.size() < width ? std::string(width - text.size(), '0') + text : text;
    };
    return digits(year, 4) + "-" + digits(month, 2) + "-" + digits(day, 2) + "T" + digits(hour, 2) + ":" +
           digits(minute, 2) + ":" + digits(second, 2) + "Z";
}

std::string FormatRunRecordLine(const RunRecord& r) {
    std::string out = "{\"time\":";
    AppendJsonString(out, r.timeUtc);
    out += ",\"driver\":";
    AppendJsonString(out, r.driverId);
    out += ",\"steps\":" + std::to_string(r.steps);
    out += ",\"increment\":" + std::to_string(r.increment);
    out += ",\"exposuresPerStep\":" + std::to_string(r.exposuresPerStep);
    out += ",\"points\":[";
    for (size_t i = 0; i < r.points.size(); ++i) {
        if (i)
            out += ',';
        out += "{\"position\":" + std::to_string(r.points[i].position);
        out += ",\"value\":" + std::to_string(r.points[i].value);
        out += ",\"values\":";
        AppendIntArray(out, r.points[i].values);
        out += '}';
    }
    out += "],\"pendingValues\":";
    AppendIntArray(out, r.pendingValues);
    if (r.verdict) {
        const RunVerdict& v = *r.verdict;
        out += ",\"threePoint\":" + std::to_string(v.threePoint);
        out += ",\"fit\":{\"converged\":";
        out += v.fitConverged ? "true" : "false";
        out += ",\"peak\":";
        AppendJsonNumber(out, v.fitConverged ? v.fitPeak : std::numeric_limits<double>::quiet_NaN());
        out += ",\"quality\":";
        AppendJsonNumber(out, v.fitConverged ? v.fitQuality : std::numeric_limits<double>::quiet_NaN());
        out += ",\"curve\":[";
        for (size_t i = 0; i < v.fitCurve.size(); ++i) {
            if (i)
                out += ',';
            out += '[';
            AppendJsonNumber(out, v.fitCurve[i].first);
            out += ',';
            AppendJsonNumber(out, v.fitCurve[i].second);
            out += ']';
        }
        out += "]},\"check\":{\"passed\":";
        out += v.checkPassed ? "true" : "false";
        out += ",\"reason\":";
        AppendJsonString(out, v.checkReason);
        out += '}';
    } else {
        out += ",\"threePoint\":null,\"fit\":null,\"check\":null";
    }
    out += ",\"result\":";
    out += r.movedTo ? std::to_string(*r.movedTo) : "null";
    out += ",\"outcome\":";
    AppendJsonString(out, RunOutcomeName(r.outcome));
    out += ",\"durationMs\":" + std::to_string(r.durationMs);
    out += '}';
    return out;
}

std::optional<RunRecord> ParseRunRecordLine(const std::string& line) {
    const std::optional<Json> root = JsonReader(line).ReadDocument();
    if (!root || root->kind != Json::Kind::Object)
        return std::nullopt;
    RunRecord r;
    if (!ReadText(root->Member("time"), r.timeUtc) || !ReadText(root->Member("driver"), r.driverId) ||
        !ReadInt32(root->Member("steps"), r.steps) || !ReadInt32(root->Member("increment"), r.increment) ||
        !ReadInt32(root->Member("exposuresPerStep"), r.exposuresPerStep) ||
        !ReadInt32Array(root->Member("pendingValues"), r.pendingValues))
        return std::nullopt;
    const Json* points = root->Member("points");
    if (!points || points->kind != Json::Kind::Array)
        return std::nullopt;
    for (const Json& p : points->items) {
        RunStep step;
        if (!ReadInt32(p.Member("position"), step.position) || !ReadInt32(p.Member("value"), step.value) ||
            !ReadInt32Array(p.Member("values"), step.values))
            return std::nullopt;
        r.points.push_back(std::move(step));
    }
    if (!IsNull(root->Member("threePoint"))) {
        RunVerdict verdict;
        if (!ReadVerdict(*root, verdict))
            return std::nullopt;
        r.verdict = std::move(verdict);
    }
    const Json* result = root->Member("result");
    if (!IsNull(result)) {
        int32_t movedTo = 0;
        if (!ReadInt32(result, movedTo))
            return std::nullopt;
        r.movedTo = movedTo;
    }
    std::string outcome;
    if (!ReadText(root->Member("outcome"), outcome))
        return std::nullopt;
    if (outcome == "focus")
        r.outcome = RunOutcome::Focus;
    else if (outcome == "error")
        r.outcome = RunOutcome::Error;
    else if (outcome == "stopped")
        r.outcome = RunOutcome::Stopped;
    else
        return std::nullopt;
    int64_t duration = 0;
    if (!ReadInt(root->Member("durationMs"), 0, std::numeric_limits<uint32_t>::max(), duration))
        return std::nullopt;
    r.durationMs = static_cast<uint32_t>(duration);
    return r;
}

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

std::string AppendRunRecordLine(const std::string& fileText, const std::string& line, size_t limit) {
    std::vector<std::string> lines = RunRecordLines(fileText);
    lines.push_back(line);
    const size_t first = lines.size() > limit ? lines.size() - limit : 0;
    std::string out;
    for (size_t i = first; i < lines.size(); ++i) {
        out += lines[i];
        out += '\n';
    }
    return out;
}

}  // namespace qm
