#include "model_perf/classification_runtime.hpp"

namespace tarvenn {

MetricMap<ClassificationEvaluationMetric> BinaryClassificationRuntime::compare(
    const BinaryClassificationRuntime& baseline, std::span<const Metric> metrics, float threshold) const {
    const float grow = 1.0f + threshold;
    MetricMap<Metric> failed;
    for (Metric m : metrics) {
        const float latest = (*this)[m];
        const float base = baseline[m];
        if (grow * latest < base) failed.insert(m, base - latest);
    }
    return failed;
}

MetricMap<ClassificationEvaluationMetric> LogisticRegressionRuntime::compare(
    const LogisticRegressionRuntime& baseline, std::span<const Metric> metrics, float threshold) const {
    return check_both_directions(*this, baseline, metrics, threshold,
                                 [](float base, float, float shrink) { return shrink * base; });
}

}  // namespace tarvenn
