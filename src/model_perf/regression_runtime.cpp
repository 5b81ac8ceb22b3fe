#include "model_perf/regression_runtime.hpp"

namespace tarvenn {

MetricMap<LinearRegressionEvaluationMetric> LinearRegressionRuntime::compare(
    const LinearRegressionRuntime& baseline, std::span<const Metric> metrics, float threshold) const {
    // A negative RSquared baseline is scaled away from zero, so the floor stays below it.
    return check_both_directions(*this, baseline, metrics, threshold, [](float base, float grow, float shrink) {
        return base < 0.0f ? grow * base : shrink * base;
    });
}

}  // namespace tarvenn
