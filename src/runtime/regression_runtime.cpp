#include "runtime/regression_runtime.hpp"

namespace tarvenn {

std::expected<LinearRegressionRuntime, ModelPerformanceError> LinearRegressionRuntime::from_map(
    const NameMap& map) {
    LinearRegressionRuntime record;
    for (std::size_t i = 0; i < size; ++i) {
        const auto v = lookup(map, metric_name(static_cast<Metric>(i)));
        if (!v)
            return std::unexpected(ModelPerformanceError::of(ModelPerformanceError::Kind::InvalidAnalysisReport));
        record.values[i] = *v;
    }
    return record;
}

MetricMap<LinearRegressionEvaluationMetric> LinearRegressionRuntime::to_map() const {
    MetricMap<Metric> map;
    for (std::size_t i = 0; i < size; ++i) map.insert(static_cast<Metric>(i), values[i]);
    return map;
}

MetricMap<LinearRegressionEvaluationMetric> LinearRegressionRuntime::runtime_drift_report(
    const LinearRegressionRuntime& baseline) const {
    MetricMap<Metric> map;
    for (std::size_t i = 0; i < size; ++i)
        map.insert(static_cast<Metric>(i), baseline.values[i] - values[i]);
    return map;
}

MetricMap<LinearRegressionEvaluationMetric> LinearRegressionRuntime::compare_to_baseline(
    std::span<const Metric> metrics, float threshold, const LinearRegressionRuntime& baseline) const {
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
