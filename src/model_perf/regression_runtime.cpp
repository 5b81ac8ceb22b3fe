#include "model_perf/regression_runtime.hpp"

namespace tarvenn {

MetricMap<LinearRegressionEvaluationMetric> LinearRegressionRuntime::compare(
    const LinearRegressionRuntime& baseline, std::span<const Metric> metrics, float threshold) const {
    const float grow = 1.0f + threshold;
    const float shrink = 1.0f - threshold;
    MetricMap<Metric> failed;
    for (Metric m : metrics) {
        const float latest = (*this)[m];
        const float base = baseline[m];
        if (m == Metric::RSquared) {
            // A negative baseline is scaled away from zero, so the bound stays below it.
            const float bound = base < 0.0f ? grow * base : shrink * base;
            if (latest < bound) failed.insert(m, base - latest);
        } else if (latest > grow * base) {
            failed.insert(m, latest - base);
        }
    }
    return failed;
}

}  // namespace tarvenn
