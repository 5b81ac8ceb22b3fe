#include "data_bias/runtime.hpp"

#include <cmath>

namespace tarvenn {

std::expected<DataBiasRuntime, ModelPerformanceError> DataBiasRuntime::new_from_pre_training(
    const PreTrainingCounts& counts) {
    if (!counts.both_facets()) return std::unexpected(ModelPerformanceError::of(BiasError::DataLengthError));
    DataBiasRuntime record;
    pre_training_bias(counts).for_each([&](DataBiasMetric m, float v) { record[m] = v; });
    return record;
}

MetricMap<DataBiasMetric> DataBiasRuntime::compare(const DataBiasRuntime& baseline,
                                                   std::span<const DataBiasMetric> metrics, float threshold) const {
    const float f = 1.0f + threshold;
    MetricMap<DataBiasMetric> failures;
    for (auto m : metrics) {
        const float latest = (*this)[m];
        const float base = baseline[m];
        switch (m) {
            case DataBiasMetric::ClassImbalance:
                if (std::fabs(latest) > std::fabs(f * std::fabs(base)))
                    failures.insert(m, std::fabs(std::fabs(latest) - std::fabs(base)));
                break;
            case DataBiasMetric::DifferenceInProportionOfLabels:
                if (std::fabs(latest) > f * std::fabs(base)) failures.insert(m, std::fabs(latest - base));
                break;
            default:
                if (latest > f * base) failures.insert(m, latest - base);
        }
    }
    return failures;
}

MetricMap<DataBiasMetric> DataBiasRuntime::runtime_drift_report(const DataBiasRuntime& baseline) const {
    const float eps = static_cast<float>(stability_eps());
    MetricMap<DataBiasMetric> changes;
    for (auto m : all_metrics<DataBiasMetric>()) {
        const float base = baseline[m];
        changes.insert(m, std::fabs((*this)[m] - base) / std::fmax(std::fabs(base), eps));
    }
    return changes;
}

}  // namespace tarvenn
