// Scaling of 96-DPI pixel sizes.
#include "common/dpi_scale.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace qm {

int ScaleToDpi(int value, int dpi) {
    if (dpi <= 0 || dpi == kBaseDpi)
        return value;
    // Wide product: a large position times a large density does not overflow.
    const int64_t product = int64_t{value} * dpi;
    const int64_t half = kBaseDpi / 2;
    const int64_t scaled = product >= 0 ? (product + half) / kBaseDpi : -((-product + half) / kBaseDpi);
    return static_cast<int>(
        std::clamp<int64_t>(scaled, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int ScaleDownToDpi(int value, int dpi) {
    if (dpi <= 0 || dpi == kBaseDpi)
        return value;
    const int64_t scaled = int64_t{value} * dpi / kBaseDpi;
    return static_cast<int>(
        std::clamp<int64_t>(scaled, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int LineWidthForDpi(int dpi) {
    return std::max(1, ScaleToDpi(1, dpi));
}

}  // namespace qm
