#include "model_perf/runtime_check.hpp"

#include "model_perf/regression_runtime.hpp"

namespace tarvenn {

namespace {

template <class Record, class M>
PerformanceReport<M> run_check(const NameMap& baseline_map, const NameMap& latest_map,
                               std::span<const M> metrics, float threshold) {
    const auto baseline = record_from_map<Record>(baseline_map);
    if (!baseline) return std::unexpected(baseline.error());
    const auto latest = record_from_map<Record>(latest_map);
    if (!latest) return std::unexpected(latest.error());
    return DriftReport<M>::from_runtime(latest->compare(*baseline, metrics, threshold));
}

}  // namespace

std::span<const ClassificationEvaluationMetric> all_classification_metrics() { return BinaryClassificationRuntime::metrics(); }
std::span<const ClassificationEvaluationMetric> all_logistic_metrics() { return LogisticRegressionRuntime::metrics(); }
std::span<const LinearRegressionEvaluationMetric> all_regression_metrics() { return LinearRegressionRuntime::metrics(); }

PerformanceReport<ClassificationEvaluationMetric> classification_performance_runtime(
    const NameMap& baseline, const NameMap& latest,
    std::span<const ClassificationEvaluationMetric> metrics, float threshold) {
    return run_check<BinaryClassificationRuntime>(baseline, latest, metrics, threshold);
}

PerformanceReport<ClassificationEvaluationMetric> logistic_performance_runtime(
    const NameMap& baseline, const NameMap& latest,
    std::span<const ClassificationEvaluationMetric> metrics, float threshold) {
    return run_check<LogisticRegressionRuntime>(baseline, latest, metrics, threshold);
}

PerformanceReport<LinearRegressionEvaluationMetric> regression_performance_runtime(
    const NameMap& baseline, const NameMap& latest,
    std::span<const LinearRegressionEvaluationMetric> metrics, float threshold) {
    return run_check<LinearRegressionRuntime>(baseline, latest, metrics, threshold);
}

}  // namespace tarvenn
