#include "tools/analysis_dump/synthetic_curves.h"

#include <algorithm>
#include <cstdint>

namespace qm {
namespace {

// SplitMix64 seeded by the curve's number: integer operations only, and one curve's
// draws do not depend on how many were made before it.
class IntegerRandom {
  public:
    explicit IntegerRandom(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [lowest, highest] (the modulo's bias does not matter here).
    int64_t Between(int64_t lowest, int64_t highest) {
        return lowest + static_cast<int64_t>(Next() % static_cast<uint64_t>(highest - lowest + 1));
    }
    template <class T, size_t N>
    T OneOf(const T (&choices)[N]) {
        return choices[Next() % N];
    }

  private:
    uint64_t state_;
};

// Distances and widths are in sixteenths of an increment.
constexpr int64_t kSub = 16;

// height * (1 + c (d/w)^2)^-power in fixed point, c chosen so that w is the half width at
// half maximum (c = 2^(1/power) - 1, in thousandths): power 1 is a Lorentzian, 3 nearly
// a Gaussian.
int64_t Profile(int64_t d, int64_t w, int64_t height, int power) {
    static constexpr int64_t kCThousandths[] = {1000, 414, 260};
    const int64_t w2 = w * w * 1000;
    const int64_t d2 = kCThousandths[power - 1] * d * d;
    int64_t value = height * 1024;
    for (int k = 0; k < power; ++k)
        value = value * w2 / (w2 + d2);
    return value / 1024;
}

enum class Kind { Clean, CloudDim, CloudBright, Spike, LostStar, Flat, Faint, EdgePeak };

const char* KindName(Kind k) {
    switch (k) {
        case Kind::Clean:
            return "clean";
        case Kind::CloudDim:
            return "cloud-dim";
        case Kind::CloudBright:
            return "cloud-bright";
        case Kind::Spike:
            return "spike";
        case Kind::LostStar:
            return "lost-star";
        case Kind::Flat:
            return "flat";
        case Kind::Faint:
            return "faint";
        case Kind::EdgePeak:
            return "edge-peak";
    }
    return "?";
}

Kind DrawKind(IntegerRandom& random) {
    const int64_t r = random.Between(0, 99);
    if (r < 30)
        return Kind::Clean;
    if (r < 45)
        return Kind::CloudDim;
    if (r < 55)
        return Kind::CloudBright;
    if (r < 70)
        return Kind::Spike;
    if (r < 75)
        return Kind::LostStar;
    if (r < 80)
        return Kind::Flat;
    if (r < 87)
        return Kind::Faint;
    return Kind::EdgePeak;
}

}  // namespace

SyntheticCurve MakeSyntheticCurve(uint32_t number) {
    static constexpr int kSteps[] = {5, 7, 9, 15};
    static constexpr int32_t kIncrements[] = {10, 25, 50, 100, 150, 250};
    static constexpr int64_t kNoisePerMille[] = {0, 10, 20, 50, 80, 150};
    IntegerRandom random(0x5EED0000ull + number);
    const int steps = kSteps[number % 4];
    const Kind kind = DrawKind(random);
    SyntheticCurve curve;
    curve.increment = random.OneOf(kIncrements);
    if (random.Between(0, 9) == 0)
        curve.increment = -curve.increment;  // a sweep downwards
    const int64_t start = random.Between(5000, 50000);

    const int64_t last = (steps - 1) * kSub;
    int64_t focus = last / 2 + random.Between(-kSub * 3 / 2, kSub * 3 / 2);
    if (kind == Kind::EdgePeak)
        focus = random.Between(0, 1) ? random.Between(-3 * kSub, kSub / 2) : last + random.Between(-kSub / 2, 3 * kSub);
    const int64_t before = random.Between(12, 8 * steps);
    const int64_t after = random.Between(0, 2) == 0 ? before * random.Between(50, 250) / 100 : before;
    const int power = static_cast<int>(random.Between(1, 3));
    int64_t height = random.Between(300, 60000);
    if (kind == Kind::Faint)
        height = random.Between(3, 40);
    const int64_t background = height * random.Between(0, 15) / 100;
    const int64_t noise = random.OneOf(kNoisePerMille);
    // The line a disturbance hits: a spike anywhere, the others inside the row.
    const int odd = static_cast<int>(kind == Kind::Spike ? random.Between(0, steps - 1) : random.Between(1, steps - 2));

    for (int i = 0; i < steps; ++i) {
        const int64_t d = i * kSub - focus;
        int64_t value = kind == Kind::Flat ? height : Profile(d, d < 0 ? before : after, height, power);
        value = (value + background) * (1000 + random.Between(-noise, noise)) / 1000;
        if (i == odd) {
            if (kind == Kind::CloudDim)
                value = value * random.Between(300, 750) / 1000;
            if (kind == Kind::CloudBright)
                value = value * random.Between(1300, 2000) / 1000;
            if (kind == Kind::Spike)
                value = value * random.Between(1800, 3000) / 1000;
            if (kind == Kind::LostStar)
                value = 0;
        }
        const int64_t position = start + static_cast<int64_t>(i) * curve.increment;
        curve.points.push_back(
            {static_cast<int32_t>(position), static_cast<int32_t>(std::clamp<int64_t>(value, 0, INT32_MAX))});
    }
    curve.kind = std::string(KindName(kind)) + " power" + std::to_string(power) + " noise" + std::to_string(noise);
    return curve;
}

}  // namespace qm
