// Nonlinear least squares by Levenberg-Marquardt: the parameters that minimise the sum
// of squared residuals of a model, from a starting guess. Small problems only (a handful
// of parameters, tens of residuals); the Jacobian is taken by forward differences.
#pragma once

#include <functional>
#include <vector>

namespace qm {

// Fills `residuals` for `params`; false when the parameters lie beyond the model's reach
// (the step that led there is refused).
using ResidualFunction = std::function<bool(const std::vector<double>& params, std::vector<double>& residuals)>;

struct LeastSquaresFit {
    bool converged = false;  // the residuals could be evaluated and the steps settled
    double cost = 0;         // sum of squared residuals at `params`
};

// Refines `params` in place; `residualCount` residuals are evaluated per call.
LeastSquaresFit MinimiseSquares(const ResidualFunction& residuals, size_t residualCount, std::vector<double>& params,
                                int maxIterations = 60);

}  // namespace qm
