// Text as the C library's snprintf writes it, for any length. The Windows builds use
// MinGW-w64's own C99 printf (__USE_MINGW_ANSI_STDIO, set for every target in
// CMakeLists.txt) instead of the system's msvcrt one, so that every build writes the
// same bytes as glibc: the exact value rounded to the digits asked for, ties to even,
// at least two exponent digits.
#pragma once

#include <cstdio>
#include <string>

namespace qm {

template <typename... Args>
std::string PrintfText(const char* format, Args... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0)
        return {};
    std::string text(static_cast<size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

}  // namespace qm
