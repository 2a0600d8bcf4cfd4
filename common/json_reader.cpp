// The JSON reader: see json_reader.h. Numbers are turned by std::from_chars, which
// follows no locale.
#include "common/json_reader.h"

#include <charconv>
#include <cmath>

namespace qm {

namespace {

class Reader {
  public:
    explicit Reader(std::string_view text) : text_(text) {}

    JsonRead Document(JsonValue& value) {
        Value(value, 0);
        Blanks();
        if (result_ == JsonRead::Value && at_ != text_.size())
            result_ = JsonRead::NotJson;
        return result_;
    }

  private:
    bool Good() const { return result_ == JsonRead::Value; }
    // The text ended where more was due: cut short, unless it already went wrong.
    void End() {
        if (Good())
            result_ = JsonRead::CutShort;
    }
    void Wrong() { result_ = JsonRead::NotJson; }
    bool AtEnd() const { return at_ >= text_.size(); }
    char Next() const { return text_[at_]; }

    void Blanks() {
        while (!AtEnd() && (Next() == ' ' || Next() == '\t' || Next() == '\n' || Next() == '\r'))
            ++at_;
    }
    // Takes `word`, or as much of it as the text still holds.
    void Word(std::string_view word) {
        const std::string_view rest = text_.substr(at_, word.size());
        if (rest != word.substr(0, rest.size()))
            return Wrong();
        at_ += rest.size();
        if (rest.size() < word.size())
            End();
    }

    void Value(JsonValue& value, size_t depth) {
        Blanks();
        if (AtEnd())
            return End();
        if (depth >= kJsonMostDepth)
            return Wrong();
        switch (Next()) {
            case '{':
                return Object(value, depth);
            case '[':
                return Array(value, depth);
            case '"':
                value.kind = JsonValue::Kind::String;
                return String(value.text);
            case 't':
                value.kind = JsonValue::Kind::Bool;
                value.boolean = true;
                return Word("true");
            case 'f':
                value.kind = JsonValue::Kind::Bool;
                return Word("false");
            case 'n':
                return Word("null");
            default:
                return Number(value);
        }
    }

    void Object(JsonValue& value, size_t depth) {
        value.kind = JsonValue::Kind::Object;
        ++at_;
        Blanks();
        if (AtEnd())
            return End();
        if (Next() == '}') {
            ++at_;
            return;
        }
        while (Good()) {
            Blanks();
            if (AtEnd())
                return End();
            if (Next() != '"')
                return Wrong();
            value.names.emplace_back();
            String(value.names.back());
            Blanks();
            if (!Good())
                return;
            if (AtEnd())
                return End();
            if (Next() != ':')
                return Wrong();
            ++at_;
            value.items.emplace_back();
            Value(value.items.back(), depth + 1);
            if (!AfterItem('}'))
                return;
        }
    }

    void Array(JsonValue& value, size_t depth) {
        value.kind = JsonValue::Kind::Array;
        ++at_;
        Blanks();
        if (AtEnd())
            return End();
        if (Next() == ']') {
            ++at_;
            return;
        }
        while (Good()) {
            value.items.emplace_back();
            Value(value.items.back(), depth + 1);
            if (!AfterItem(']'))
                return;
        }
    }

    // After an item: a comma and more (true), or the closing bracket (false).
    bool AfterItem(char close) {
        if (!Good())
            return false;
        Blanks();
        if (AtEnd())
            return End(), false;
        if (Next() == ',') {
            ++at_;
            return true;
        }
        if (Next() != close)
            Wrong();
        ++at_;
        return false;
    }

    void String(std::string& out) {
        ++at_;  // the opening quote
        while (Good()) {
            if (AtEnd())
                return End();
            const unsigned char c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"')
                return;
            if (c < 0x20)
                return Wrong();
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (AtEnd())
                return End();
            const char escape = text_[at_++];
            switch (escape) {
                case '"':
                case '\\':
                case '/':
                    out += escape;
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
                case 'u':
                    Unicode(out);
                    break;
                default:
                    return Wrong();
            }
        }
    }

    // Four hex digits after "\u", or as many as the text still holds.
    std::optional<unsigned> Hex4() {
        unsigned code = 0;
        for (int i = 0; i < 4; ++i, ++at_) {
            if (AtEnd())
                return End(), std::nullopt;
            const char c = Next();
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0)
                return Wrong(), std::nullopt;
            code = code << 4 | static_cast<unsigned>(digit);
        }
        return code;
    }

    // A "\u" escape as UTF-8; a surrogate pair as one character, a lone surrogate as U+FFFD.
    void Unicode(std::string& out) {
        std::optional<unsigned> code = Hex4();
        if (!code)
            return;
        if (*code >= 0xD800 && *code < 0xDC00 && text_.substr(at_, 2) == "\\u") {
            at_ += 2;
            const std::optional<unsigned> low = Hex4();
            if (!low)
                return;
            code = *low >= 0xDC00 && *low < 0xE000 ? 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00) : 0xFFFD;
        } else if (*code >= 0xD800 && *code < 0xE000) {
            code = 0xFFFD;
        }
        const unsigned c = *code;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    // JSON's number grammar checked here, then the value turned by from_chars.
    void Number(JsonValue& value) {
        value.kind = JsonValue::Kind::Number;
        const size_t first = at_;
        const auto digits = [&] {
            const size_t from = at_;
            while (!AtEnd() && Next() >= '0' && Next() <= '9')
                ++at_;
            return at_ - from;
        };
        if (!AtEnd() && Next() == '-')
            ++at_;
        const size_t wholeStart = at_;
        const size_t whole = digits();
        if (whole == 0)
            return AtEnd() ? End() : Wrong();
        if (whole > 1 && text_[wholeStart] == '0')
            return Wrong();
        if (!AtEnd() && Next() == '.') {
            ++at_;
            if (digits() == 0)
                return AtEnd() ? End() : Wrong();
        }
        if (!AtEnd() && (Next() == 'e' || Next() == 'E')) {
            ++at_;
            if (!AtEnd() && (Next() == '+' || Next() == '-'))
                ++at_;
            if (digits() == 0)
                return AtEnd() ? End() : Wrong();
        }
        const char* begin = text_.data() + first;
        const auto [end, error] = std::from_chars(begin, text_.data() + at_, value.number);
        // Out of range: a number JSON allows but a double cannot hold.
        if (error != std::errc() || end != text_.data() + at_ || !std::isfinite(value.number))
            Wrong();
    }

    std::string_view text_;
    size_t at_ = 0;
    JsonRead result_ = JsonRead::Value;
};

}  // namespace

const JsonValue* JsonValue::Member(std::string_view name) const {
    if (kind != Kind::Object)
        return nullptr;
    for (size_t i = names.size(); i-- > 0;)
        if (names[i] == name)
            return &items[i];
    return nullptr;
}

std::optional<long long> JsonValue::Whole(long long lowest, long long highest) const {
    if (kind != Kind::Number || number != std::floor(number) || number < static_cast<double>(lowest) ||
        number > static_cast<double>(highest))
        return std::nullopt;
    return static_cast<long long>(number);
}

JsonRead ReadJson(std::string_view text, JsonValue& value) {
    value = JsonValue();
    return Reader(text).Document(value);
}

}  // namespace qm
