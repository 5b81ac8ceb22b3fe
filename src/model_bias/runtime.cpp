#include "model_bias/runtime.hpp"

#include <cmath>

namespace tarvenn {

namespace {

using M = ModelBiasMetric;

constexpr std::size_t kCount = metric_count<M>;

}  // namespace

std::expected<ModelBiasRuntime, ModelPerformanceError> ModelBiasRuntime::new_from_post_training(
    const PostTrainingCounts& counts, float generalized_entropy) {
    auto values = post_training_values(counts, generalized_entropy);
    if (!values) {
        using K = ModelPerformanceError::Kind;
        return std::unexpected(ModelPerformanceError::of(
            values.error() == PostTrainingFailure::EmptyGroup ? K::EmptyDataVector : K::InvalidData));
    }
    ModelBiasRuntime record;
    record.values = *values;
    return record;
}

MetricMap<ModelBiasMetric> ModelBiasRuntime::compare(const ModelBiasRuntime& baseline,
                                                     std::span<const ModelBiasMetric> metrics, float threshold) const {
    const float k = 1.0f + threshold;
    MetricMap<ModelBiasMetric> failures;
    for (M m : metrics) {
        const float latest = (*this)[m];
        const float base = baseline[m];
        switch (m) {
            case M::DisparateImpact:
                // Judged by the distance from parity, so a fall below 1 counts as
                // much as a rise above it.
                if (std::abs(latest - 1.0f) > k * std::abs(base - 1.0f)) failures.insert(m, std::abs(latest - base));
                break;
            case M::GeneralizedEntropy:
                if (latest > k * base) failures.insert(m, std::abs(latest - base));
                break;
            default:
                if (std::abs(latest) > k * std::abs(base))
                    failures.insert(m, std::abs(std::abs(latest) - std::abs(base)));
                break;
        }
    }
    return failures;
}

MetricMap<ModelBiasMetric> ModelBiasRuntime::runtime_drift_report(const ModelBiasRuntime& baseline) const {
    MetricMap<ModelBiasMetric> changes;
    for (std::size_t i = 0; i < kCount; ++i)
        changes.insert(static_cast<M>(i), std::abs((values[i] - baseline.values[i]) / baseline.values[i]));
    return changes;
}

}  // namespace tarvenn
