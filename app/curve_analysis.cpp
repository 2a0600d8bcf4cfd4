#include "app/curve_analysis.h"

namespace qm {

CurveAnalysis AnalyseCurve(const std::vector<CurvePoint>& /*points*/, int32_t /*increment*/,
                           int32_t threePoint, const RunOptions& /*options*/) {
    CurveAnalysis analysis;
    analysis.threePoint = threePoint;
    analysis.chosen = threePoint;
    return analysis;
}

}  // namespace qm
