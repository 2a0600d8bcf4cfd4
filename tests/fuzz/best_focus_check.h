// The best-focus computation under arbitrary input. The first byte chooses between
// arbitrary log text (lines split at line ends) and a sweep of well-formed step lines
// built from the input's numbers. Either must compute without fault; for a sweep whose
// positions and focus values are all positive, the result is 0 or lies within one
// increment of the swept positions, and a largest value on the first or last line gives
// that line's position.
//
// Shared by the libFuzzer target and by the regression cases of the unit tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "focus/best_focus.h"
#include "tests/fuzz/byte_reader.h"

namespace qm::fuzz {

// Returns an empty text when every invariant holds, else what broke.
inline std::string CheckBestFocus(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    const bool sweep = in.Bool();
    const int32_t increment = in.Bool() ? in.I32() : static_cast<int32_t>(in.InRange(1, 999));
    if (!sweep) {
        std::vector<std::string> lines;
        std::string line;
        for (char c : in.Rest()) {
            if (c == '\n') {
                lines.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
        lines.push_back(line);
        (void)ComputeBestFocusFromLines(lines, increment);
        return {};
    }

    // Well-formed step lines: positive positions (a regular sweep or any numbers) and values.
    const size_t count = static_cast<size_t>(in.InRange(0, 60));
    const bool regular = in.Bool();
    const int32_t first = regular ? static_cast<int32_t>(in.InRange(1, 99999)) : 0;
    std::vector<int32_t> positions, values;
    std::vector<std::string> lines;
    for (size_t i = 0; i < count; ++i) {
        int64_t p = regular ? first + static_cast<int64_t>(i) * std::abs(static_cast<int64_t>(increment))
                            : in.InRange(1, 2147483647);
        p = std::min<int64_t>(p, 2147483647);
        const int32_t v =
            in.Bool() ? static_cast<int32_t>(in.InRange(1, 2147483647)) : static_cast<int32_t>(in.InRange(1, 100));
        positions.push_back(static_cast<int32_t>(p));
        values.push_back(v);
        lines.push_back(FormatStepLine(static_cast<int32_t>(p), v));
    }
    const int32_t best = ComputeBestFocusFromLines(lines, increment);
    if (count < 5)
        return best == 0 ? std::string() : "fewer than five lines gave a result";
    if (best == 0)
        return {};
    const int64_t low = *std::min_element(positions.begin(), positions.end());
    const int64_t high = *std::max_element(positions.begin(), positions.end());
    const int64_t reach = std::abs(static_cast<int64_t>(increment));
    if (best < low - reach || best > high + reach)
        return "the best focus " + std::to_string(best) + " lies more than an increment outside the sweep";
    const size_t m = static_cast<size_t>(std::max_element(values.begin(), values.end()) - values.begin());
    if ((m == 0 || m == count - 1) && best != positions[m])
        return "a largest value at an end of the sweep did not give that line's position";
    return {};
}

}  // namespace qm::fuzz
