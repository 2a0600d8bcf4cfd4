// The encodings in which editors save a small text file such as the options file:
// Notepad writes UTF-8 with or without a byte-order mark, and "Unicode" (UTF-16, either
// byte order) always with its mark. Reading such a file as the user meant it means
// taking the mark off and turning UTF-16 into UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace qm {

enum class TextEncoding {
    Plain,         // no byte-order mark: UTF-8, or ASCII, or the system code page
    Utf8WithMark,  // EF BB BF
    Utf16Le,       // FF FE
    Utf16Be,       // FE FF
};

// Which encoding the file's first bytes announce.
TextEncoding DetectTextEncoding(std::string_view bytes);

// The text without its byte-order mark, UTF-16 turned into UTF-8. A UTF-16 unit that
// is no character (an unpaired surrogate, an odd last byte) becomes U+FFFD.
std::string TextAsUtf8(std::string_view bytes);

// A short name for the driver check's report: "UTF-8 with byte-order mark", ...
const char* TextEncodingName(TextEncoding encoding);

}  // namespace qm
