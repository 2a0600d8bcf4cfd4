// A window's text as a string: GetWindowTextLengthA gives only an upper bound (it may
// count a DBCS text's bytes twice), so the text is cut to what GetWindowTextA copied.
#pragma once

#include <windows.h>

#include <string>

namespace qm::win {

inline std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    const int copied = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

}  // namespace qm::win
