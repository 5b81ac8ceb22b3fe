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
    const float grow = 1.0f + threshold;
    const float shrink = 1.0f - threshold;
    MetricMap<Metric> failed;
    for (Metric m : metrics) {
        const float latest = (*this)[m];
        const float base = baseline[m];
        if (m == Metric::LogLoss) {
            if (latest > grow * base) failed.insert(m, latest - base);
        } else if (latest < shrink * base) {
            failed.insert(m, base - latest);
        }
    }
    return failed;
}

}  // namespace tarvenn
