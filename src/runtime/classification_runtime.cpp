#include "runtime/classification_runtime.hpp"

namespace tarvenn {

template <std::size_t N>
std::expected<ClassificationRecord<N>, ModelPerformanceError> ClassificationRecord<N>::from_map(
    const NameMap& map) {
    ClassificationRecord record;
    for (std::size_t i = 0; i < N; ++i) {
        const auto v = lookup(map, metric_name(static_cast<Metric>(i)));
        if (!v)
            return std::unexpected(ModelPerformanceError::of(ModelPerformanceError::Kind::InvalidAnalysisReport));
        record.values[i] = *v;
    }
    return record;
}

template struct ClassificationRecord<7>;
template struct ClassificationRecord<8>;

std::expected<BinaryClassificationRuntime, ModelPerformanceError> BinaryClassificationRuntime::from_map(
    const NameMap& map) {
    auto record = ClassificationRecord<7>::from_map(map);
    if (!record) return std::unexpected(record.error());
    return BinaryClassificationRuntime{*record};
}

std::expected<LogisticRegressionRuntime, ModelPerformanceError> LogisticRegressionRuntime::from_map(
    const NameMap& map) {
    auto record = ClassificationRecord<8>::from_map(map);
    if (!record) return std::unexpected(record.error());
    return LogisticRegressionRuntime{*record};
}

MetricMap<ClassificationEvaluationMetric> BinaryClassificationRuntime::compare_to_baseline(
    std::span<const Metric> metrics, float threshold, const BinaryClassificationRuntime& baseline) const {
    const float grow = 1.0f + threshold;
    MetricMap<Metric> failed;
    for (Metric m : metrics) {
        const float latest = (*this)[m];
        const float base = baseline[m];
        if (grow * latest < base) failed.insert(m, base - latest);
    }
    return failed;
}

MetricMap<ClassificationEvaluationMetric> LogisticRegressionRuntime::compare_to_baseline(
    std::span<const Metric> metrics, float threshold, const LogisticRegressionRuntime& baseline) const {
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
