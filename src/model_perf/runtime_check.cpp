#include "model_perf/runtime_check.hpp"

#include <array>

#include "model_perf/regression_runtime.hpp"

namespace tarvenn {

namespace {

template <class M, std::size_t N>
constexpr std::array<M, N> first_metrics() {
    std::array<M, N> list{};
    for (std::size_t i = 0; i < N; ++i) list[i] = static_cast<M>(i);
    return list;
}

constexpr auto kClassification = first_metrics<ClassificationEvaluationMetric, 7>();
constexpr auto kLogistic = first_metrics<ClassificationEvaluationMetric, 8>();
constexpr auto kRegression = first_metrics<LinearRegressionEvaluationMetric, 8>();

template <class Record, class M>
PerformanceReport<M> run_check(const NameMap& baseline_map, const NameMap& latest_map,
                               std::span<const M> metrics, float threshold) {
    const auto baseline = Record::from_map(baseline_map);
    if (!baseline) return std::unexpected(baseline.error());
    const auto latest = Record::from_map(latest_map);
    if (!latest) return std::unexpected(latest.error());
    return DriftReport<M>::from_runtime(latest->compare_to_baseline(metrics, threshold, *baseline));
}

}  // namespace

std::span<const ClassificationEvaluationMetric> all_classification_metrics() { return kClassification; }
std::span<const ClassificationEvaluationMetric> all_logistic_metrics() { return kLogistic; }
std::span<const LinearRegressionEvaluationMetric> all_regression_metrics() { return kRegression; }

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
