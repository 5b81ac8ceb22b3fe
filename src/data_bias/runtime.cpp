#include "data_bias/runtime.hpp"

#include <cmath>

namespace tarvenn {
namespace {

DataBiasRuntimeError missing(DataBiasMetric m) {
    switch (m) {
        case DataBiasMetric::ClassImbalance: return DataBiasRuntimeError::ClassImbalance;
        case DataBiasMetric::DifferenceInProportionOfLabels: return DataBiasRuntimeError::DifferenceInProportionOfLabels;
        case DataBiasMetric::KlDivergence: return DataBiasRuntimeError::KlDivergence;
        case DataBiasMetric::JsDivergence: return DataBiasRuntimeError::JsDivergence;
        case DataBiasMetric::LpNorm: return DataBiasRuntimeError::LpNorm;
        case DataBiasMetric::TotalVariationDistance: return DataBiasRuntimeError::TotalVariationDistance;
        case DataBiasMetric::KolmogorovSmirnov: break;
    }
    return DataBiasRuntimeError::KolmogorovSmirnov;
}

template <class Lookup>
std::expected<DataBiasRuntime, DataBiasRuntimeError> build(Lookup&& lookup_value) {
    DataBiasRuntime record;
    for (auto m : all_metrics<DataBiasMetric>()) {
        const std::optional<float> v = lookup_value(m);
        if (!v) return std::unexpected(missing(m));
        record.values[metric_index(m)] = *v;
    }
    return record;
}

}  // namespace

std::expected<DataBiasRuntime, DataBiasRuntimeError> DataBiasRuntime::try_from(const MetricMap<DataBiasMetric>& map) {
    return build([&](DataBiasMetric m) { return map.get(m); });
}

std::expected<DataBiasRuntime, DataBiasRuntimeError> DataBiasRuntime::try_from(const NameMap& map) {
    return build([&](DataBiasMetric m) { return lookup(map, metric_name(m)); });
}

std::expected<DataBiasRuntime, ModelPerformanceError> DataBiasRuntime::new_from_pre_training(
    const PreTrainingCounts& counts) {
    if (counts.facet_a_count == 0 || counts.facet_d_count == 0)
        return std::unexpected(ModelPerformanceError::of(BiasError::DataLengthError));
    auto result = pre_training_bias(counts);
    if (!result) return std::unexpected(result.error());
    DataBiasRuntime record;
    result->for_each([&](DataBiasMetric m, float v) { record.values[metric_index(m)] = v; });
    return record;
}

MetricMap<DataBiasMetric> DataBiasRuntime::to_map() const {
    MetricMap<DataBiasMetric> map;
    for (auto m : all_metrics<DataBiasMetric>()) map.insert(m, (*this)[m]);
    return map;
}

MetricMap<DataBiasMetric> DataBiasRuntime::runtime_check(const DataBiasRuntime& baseline,
                                                         const std::vector<DataBiasMetric>& metrics,
                                                         float threshold) const {
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
