// FixedPointText and SignificantDigitsText against the printf they stand in for: a
// table of the cases where rounding and the choice of form go wrong first, then many
// generated values, compared with the snprintf of the platform the tests run on.
#include "common/printf_number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace qm {
namespace {

std::string Printf(const char* format, int precision, double value) {
    char text[1200];
    std::snprintf(text, sizeof text, format, precision, value);
    return text;
}

TEST(PrintfNumber, TableMatchesPrintf) {
    const double values[] = {0.0,
                             -0.0,
                             1.0,
                             -1.0,
                             0.05,   // just above a tie at one decimal: 0.1
                             0.25,   // an exact tie: 0.2
                             0.35,   // just below a tie: 0.3
                             0.45,   // just above: 0.5
                             2.5,    // an exact tie with no decimals: 2
                             3.5,    // 4
                             -0.04,  // rounds to "-0.0"
                             9.95,
                             99.96,  // carries into a new digit
                             999999.95,
                             123.456,
                             1e15,
                             1e16,
                             123456789012345678.0,
                             0.0001,
                             0.00001,
                             0.000123456789012345678,
                             1.5e-7,
                             1e20,
                             1e100,
                             1e-300,
                             999999999999999.4,
                             999999999999999.5,  // rounds to 1e+15 at 15 digits
                             9999999999999999.0,
                             0.1 + 0.2,
                             1.0 / 3.0,
                             2.0 / 3.0,
                             std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::min(),
                             std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()};
    for (double v : values) {
        for (int decimals : {0, 1, 2, 3}) {
            EXPECT_EQ(FixedPointText(v, decimals), Printf("%.*f", decimals, v)) << v << " to " << decimals;
        }
        for (int digits : {0, 1, 2, 6, 15, 17}) {
            EXPECT_EQ(SignificantDigitsText(v, digits), Printf("%.*g", digits, v)) << v << " at " << digits;
        }
    }
}

// Any bit pattern, integers, dyadic fractions (exact ties at some digit), neighbours of
// powers of ten (where the form changes) and times as the driver check writes them.
std::vector<double> GeneratedValues() {
    std::mt19937_64 random(20261209);
    std::vector<double> values;
    for (int i = 0; i < 12000; ++i) {
        const uint64_t r = random();
        double v = 0;
        switch (i % 5) {
            case 0: {
                const uint64_t bits = r & 0x7FFFFFFFFFFFFFFF;
                std::memcpy(&v, &bits, sizeof v);
                if (!std::isfinite(v))
                    v = 1;
                break;
            }
            case 1:
                v = static_cast<double>(r >> (r % 64));
                break;
            case 2:
                v = std::ldexp(static_cast<double>(r % 2000001), -static_cast<int>((r >> 32) % 40));
                break;
            case 3: {
                v = std::pow(10.0, static_cast<int>(r % 40) - 20);
                for (uint64_t k = (r >> 8) % 4; k > 0; --k)
                    v = std::nextafter(v, (r >> 12) % 2 ? 0.0 : 1e300);
                break;
            }
            default:
                v = static_cast<double>(r % 100000000) / ((r >> 32) % 2 ? 1e3 : 1e6);
                break;
        }
        values.push_back((r >> 63) ? -v : v);
    }
    return values;
}

TEST(PrintfNumber, GeneratedValuesMatchPrintf) {
    int mismatches = 0;
    for (double v : GeneratedValues()) {
        const struct {
            std::string ours;
            std::string printf;
        } pairs[] = {
            {SignificantDigitsText(v, 15), Printf("%.*g", 15, v)},
            {FixedPointText(v, 1), Printf("%.*f", 1, v)},
            {FixedPointText(v, 0), Printf("%.*f", 0, v)},
        };
        for (const auto& pair : pairs) {
            if (pair.ours != pair.printf && ++mismatches <= 10)
                ADD_FAILURE() << pair.ours << " against printf's " << pair.printf;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace qm
