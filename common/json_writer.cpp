#include "common/json_writer.h"

#include "common/decimal_text.h"

namespace qm {

namespace {

// Length of the valid UTF-8 sequence at text[i], or 0 when none starts there.
size_t Utf8SequenceLength(std::string_view text, size_t i) {
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

}  // namespace

void AppendJsonEscaped(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = c >= 0x80 ? Utf8SequenceLength(text, i) : 1;
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
                if (length == 0 || c < 0x20 || c == 0x7F) {
                    // Other control characters, and a byte that starts no valid sequence.
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 0xF];
                    i += 1;
                    continue;
                }
                out.append(text.substr(i, length));
        }
        i += length;
    }
}

void JsonWriter::Separate() {
    if (afterValue_)
        out_ += ',';
    afterValue_ = false;
}

JsonWriter& JsonWriter::BeginObject() {
    Separate();
    out_ += '{';
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    out_ += '}';
    afterValue_ = true;
    return *this;
}

JsonWriter& JsonWriter::BeginArray() {
    Separate();
    out_ += '[';
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    out_ += ']';
    afterValue_ = true;
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
    Separate();
    out_ += '"';
    AppendJsonEscaped(out_, name);
    out_ += "\":";
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
    Separate();
    out_ += '"';
    AppendJsonEscaped(out_, text);
    out_ += '"';
    afterValue_ = true;
    return *this;
}

JsonWriter& JsonWriter::Integer(int64_t value) {
    Separate();
    out_ += std::to_string(value);
    afterValue_ = true;
    return *this;
}

JsonWriter& JsonWriter::Number(double value) {
    Separate();
    if (!AppendDecimal(out_, value, 4, true))
        out_ += "null";
    afterValue_ = true;
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    Separate();
    out_ += value ? "true" : "false";
    afterValue_ = true;
    return *this;
}

JsonWriter& JsonWriter::Null() {
    Separate();
    out_ += "null";
    afterValue_ = true;
    return *this;
}

}  // namespace qm
