#include "model_bias/runtime.hpp"

#include <cmath>

namespace tarvenn {

namespace {

using M = ModelBiasMetric;

constexpr std::size_t kCount = metric_count<M>;

// The "not present" error of a metric. The error enumeration lists three metrics
// in another order than the metric enumeration, so the match goes by name.
ModelBiasRuntimeError missing(M m) {
    switch (m) {
        case M::DifferenceInPositivePredictedLabels: return ModelBiasRuntimeError::DifferenceInPositivePredictedLabels;
        case M::DisparateImpact: return ModelBiasRuntimeError::DisparateImpact;
        case M::AccuracyDifference: return ModelBiasRuntimeError::AccuracyDifference;
        case M::RecallDifference: return ModelBiasRuntimeError::RecallDifference;
        case M::DifferenceInConditionalAcceptance: return ModelBiasRuntimeError::DifferenceInConditionalAcceptance;
        case M::DifferenceInAcceptanceRate: return ModelBiasRuntimeError::DifferenceInAcceptanceRate;
        case M::SpecialityDifference: return ModelBiasRuntimeError::SpecialityDifference;
        case M::DifferenceInConditionalRejection: return ModelBiasRuntimeError::DifferenceInConditionalRejection;
        case M::DifferenceInRejectionRate: return ModelBiasRuntimeError::DifferenceInRejectionRate;
        case M::TreatmentEquity: return ModelBiasRuntimeError::TreatmentEquity;
        case M::ConditionalDemographicDesparityPredictedLabels:
            return ModelBiasRuntimeError::ConditionalDemographicDesparityPredictedLabels;
        case M::GeneralizedEntropy: return ModelBiasRuntimeError::GeneralizedEntropy;
    }
    return ModelBiasRuntimeError::GeneralizedEntropy;
}

}  // namespace

std::expected<ModelBiasRuntime, ModelBiasRuntimeError> ModelBiasRuntime::try_from(const NameMap& named_values) {
    ModelBiasRuntime record;
    for (std::size_t i = 0; i < kCount; ++i) {
        const auto m = static_cast<M>(i);
        auto value = lookup(named_values, metric_name(m));
        if (!value) return std::unexpected(missing(m));
        record.values[i] = *value;
    }
    return record;
}

std::expected<ModelBiasRuntime, ModelPerformanceError> ModelBiasRuntime::new_from_post_training(
    const PostTrainingCounts& counts, float generalized_entropy) {
    auto values = post_training_values(counts, generalized_entropy);
    if (!values) {
        using K = ModelPerformanceError::Kind;
        return std::unexpected(ModelPerformanceError::of(
            values.error() == PostTrainingFailure::EmptyGroup ? K::EmptyDataVector : K::InvalidData));
    }
    return ModelBiasRuntime{*values};
}

MetricMap<ModelBiasMetric> ModelBiasRuntime::runtime_check(const ModelBiasRuntime& baseline,
                                                           std::span<const ModelBiasMetric> metrics,
                                                           float threshold) const {
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

MetricMap<ModelBiasMetric> ModelBiasRuntime::to_map() const {
    MetricMap<ModelBiasMetric> map;
    for (std::size_t i = 0; i < kCount; ++i) map.insert(static_cast<M>(i), values[i]);
    return map;
}

}  // namespace tarvenn
