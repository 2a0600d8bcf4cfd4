// Best-focus computation. The interpolation runs in single precision on purpose: the
// results of earlier versions (and of the worked examples users compare against) are
// those of single-precision arithmetic.
#include "focus/best_focus.h"

#include <cmath>
#include <limits>
#include <string_view>

#include "common/whole_number.h"

namespace qm {

namespace {

constexpr std::string_view kSeparator = " = ";

}  // namespace

// The two parts are the text before and after " = ", so positions and values of any width
// read back as written.
void ReadStepLine(std::string_view line, int32_t& position, int32_t& focus) {
    size_t at = line.find(kSeparator);
    if (at == std::string_view::npos) {
        position = 0;
        focus = 0;
        return;
    }
    position = WholeNumberOrZero(TrimBlanks(line.substr(0, at)));
    focus = WholeNumberOrZero(TrimBlanks(line.substr(at + kSeparator.size())));
}

std::string FormatStepLine(int32_t position, int32_t focusValue) {
    return SpacePaddedNumber(position, 5) + " = " + std::to_string(focusValue);
}

std::string FormatResultLine(int32_t position) {
    return SpacePaddedNumber(position, 5) + " -> Focus";
}

int32_t ComputeBestFocusFromLines(const std::vector<std::string>& lines, int32_t increment) {
    const size_t n = lines.size();
    if (n < 5) return 0;
    std::vector<int32_t> positions(n), focus(n);
    int32_t best = 0;
    size_t m = 0;
    for (size_t i = 0; i < n; ++i) {
        ReadStepLine(lines[i], positions[i], focus[i]);
        if (focus[i] == 0 || positions[i] == 0) return 0;
        if (focus[i] > best) {
            best = focus[i];
            m = i;
        }
    }
    if (m == 0 || m == n - 1) return positions[m];

    // Differences are taken in 64 bits so that no pair of 32-bit values can overflow.
    auto d1 = static_cast<float>(static_cast<int64_t>(focus[m]) - focus[m - 1]);
    auto d2 = static_cast<float>(static_cast<int64_t>(focus[m]) - focus[m + 1]);
    float r = d1 > d2 ? d2 / (d1 + 0.5f) : d1 / (d2 + 0.5f);
    float off = static_cast<float>(increment) * ((1.0f - r) * 0.5f);
    if (d2 > d1) off = -off;
    double result = std::nearbyint(static_cast<double>(positions[m]) + static_cast<double>(off));
    if (result > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (result < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(result);
}

}  // namespace qm
