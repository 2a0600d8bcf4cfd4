#include "record/text_encoding.h"

#include <cstdint>

namespace qm {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Utf16AsUtf8(std::string_view bytes, bool bigEndian) {
    const auto unitAt = [&](size_t i) -> char16_t {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char16_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
    };
    std::string out;
    out.reserve(bytes.size() / 2);
    const size_t units = bytes.size() / 2;
    for (size_t u = 0; u < units; ++u) {
        const char16_t unit = unitAt(2 * u);
        if (unit >= 0xD800 && unit <= 0xDBFF && u + 1 < units) {
            const char16_t next = unitAt(2 * (u + 1));
            if (next >= 0xDC00 && next <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(next) - 0xDC00));
                ++u;
                continue;
            }
        }
        AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : char32_t(unit));
    }
    if (bytes.size() % 2 != 0)
        AppendUtf8(out, kReplacement);
    return out;
}

}  // namespace

TextEncoding DetectTextEncoding(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Mark))
        return TextEncoding::Utf8WithMark;
    if (bytes.starts_with(kUtf16LeMark))
        return TextEncoding::Utf16Le;
    if (bytes.starts_with(kUtf16BeMark))
        return TextEncoding::Utf16Be;
    return TextEncoding::Plain;
}

std::string TextAsUtf8(std::string_view bytes) {
    switch (DetectTextEncoding(bytes)) {
    case TextEncoding::Utf8WithMark:
        return std::string(bytes.substr(kUtf8Mark.size()));
    case TextEncoding::Utf16Le:
        return Utf16AsUtf8(bytes.substr(kUtf16LeMark.size()), false);
    case TextEncoding::Utf16Be:
        return Utf16AsUtf8(bytes.substr(kUtf16BeMark.size()), true);
    case TextEncoding::Plain:
        break;
    }
    return std::string(bytes);
}

const char* TextEncodingName(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8WithMark:
        return "UTF-8 with byte-order mark";
    case TextEncoding::Utf16Le:
        return "UTF-16 little-endian (\"Unicode\")";
    case TextEncoding::Utf16Be:
        return "UTF-16 big-endian (\"Unicode big endian\")";
    case TextEncoding::Plain:
        break;
    }
    return "UTF-8 or ANSI, no byte-order mark";
}

}  // namespace qm
