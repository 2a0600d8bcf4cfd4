// Prints every answer of the best-focus computation for a fixed set of made-up focus
// curves (synthetic_curves.h), one line a curve, for comparing builds line by line:
// the three-point result, and the curve analysis with the fit and the curve check on
// (the result the run moves to, whether a fit converged, the fitted maximum and the
// fit's quality as the bits of their doubles, whether the fit is trusted, the line left
// out, the check's verdict). tests/e2e/analysis_both_builds.sh requires the 64-bit and
// the 32-bit Windows builds to print the same.
//   AnalysisDump [curves, default 3000]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "focus/best_focus.h"
#include "focus/curve_analysis.h"
#include "tools/analysis_dump/synthetic_curves.h"

namespace {

constexpr unsigned long kDefaultCurves = 3000;

// A double's 64 bits in hex: the exact value, however the C runtime prints decimals.
std::string Bits(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    char text[17];
    for (int i = 15; i >= 0; --i, bits >>= 4)
        text[i] = "0123456789abcdef"[bits & 15];
    text[16] = 0;
    return text;
}

// FNV-1a over the positions and values: the input, to tell a different curve from a
// different answer.
uint32_t Digest(const std::vector<qm::CurvePoint>& points) {
    uint32_t hash = 2166136261u;
    auto add = [&](int32_t v) {
        for (int i = 0; i < 4; ++i)
            hash = (hash ^ ((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF)) * 16777619u;
    };
    for (const qm::CurvePoint& p : points)
        add(p.position), add(p.value);
    return hash;
}

std::string Describe(uint32_t number) {
    const qm::SyntheticCurve curve = qm::MakeSyntheticCurve(number);
    std::vector<std::string> lines;
    for (const qm::CurvePoint& p : curve.points)
        lines.push_back(qm::FormatStepLine(p.position, p.value));
    // As the run does: the rule and the analysis read the same step lines.
    std::vector<qm::CurvePoint> points(lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        qm::ReadStepLine(lines[i], points[i].position, points[i].value);
    const int32_t threePoint = qm::ComputeBestFocusFromLines(lines, curve.increment);
    const qm::CurveAnalysis a = qm::AnalyseCurve(points, curve.increment, threePoint, qm::CurveRequest{true, true});

    char head[64];
    std::snprintf(head, sizeof head, "%u steps=%u inc=%d in=%08x ", static_cast<unsigned>(number),
                  static_cast<unsigned>(points.size()), static_cast<int>(curve.increment),
                  static_cast<unsigned>(Digest(points)));
    return head + curve.kind + " | rule=" + std::to_string(threePoint) + " result=" + std::to_string(a.chosen) +
           " converged=" + std::to_string(a.fitConverged) + " peak=" + Bits(a.fitPeak) +
           " quality=" + Bits(a.fitQuality) + " trusted=" + std::to_string(a.fitTrusted) +
           " dropped=" + std::to_string(a.droppedPosition) +
           " check=" + (a.checkPassed ? std::string("passed") : "\"" + a.checkReason + "\"");
}

}  // namespace

int main(int argc, char** argv) {
    char* end = nullptr;
    const unsigned long curves = argc > 1 ? std::strtoul(argv[1], &end, 10) : kDefaultCurves;
    if (argc > 2 || (argc > 1 && (*end != 0 || curves == 0))) {
        std::fprintf(stderr, "usage: AnalysisDump [curves, default %lu]\n", kDefaultCurves);
        return 2;
    }
    for (unsigned long n = 0; n < curves; ++n)
        std::printf("%s\n", Describe(static_cast<uint32_t>(n)).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}
