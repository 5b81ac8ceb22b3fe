// The runtime error variants of the two bias families ("<metric> not present"),
// paired with their metrics by one table per family: the metric of each error
// variant, in variant order. The conversions both ways and the display texts
// are derived from it.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <type_traits>

#include "core/errors.hpp"
#include "core/metrics.hpp"

namespace tarvenn {

template <class E>
struct RuntimeErrorTable;

template <>
struct RuntimeErrorTable<DataBiasRuntimeError> {
    using Metric = DataBiasMetric;
    static constexpr std::array<Metric, 7> metric_of{
        Metric::ClassImbalance,         Metric::DifferenceInProportionOfLabels, Metric::KlDivergence,
        Metric::JsDivergence,           Metric::TotalVariationDistance,         Metric::KolmogorovSmirnov,
        Metric::LpNorm,
    };
};

template <>
struct RuntimeErrorTable<ModelBiasRuntimeError> {
    using Metric = ModelBiasMetric;
    static constexpr std::array<Metric, 12> metric_of{
        Metric::DifferenceInPositivePredictedLabels,
        Metric::DisparateImpact,
        Metric::AccuracyDifference,
        Metric::RecallDifference,
        Metric::DifferenceInConditionalAcceptance,
        Metric::DifferenceInAcceptanceRate,
        Metric::SpecialityDifference,
        Metric::DifferenceInConditionalRejection,
        Metric::TreatmentEquity,
        Metric::ConditionalDemographicDesparityPredictedLabels,
        Metric::DifferenceInRejectionRate,
        Metric::GeneralizedEntropy,
    };
};

// The inverse table: the error variant of each metric, in metric order.
template <class E>
inline constexpr auto kErrorOfMetric = [] {
    constexpr auto& forward = RuntimeErrorTable<E>::metric_of;
    std::array<E, forward.size()> inverse{};
    for (std::size_t e = 0; e < forward.size(); ++e) inverse[metric_index(forward[e])] = static_cast<E>(e);
    return inverse;
}();

// Every metric has exactly one variant.
template <class E>
constexpr bool is_one_to_one() {
    constexpr auto& forward = RuntimeErrorTable<E>::metric_of;
    std::array<int, forward.size()> seen{};
    for (auto m : forward) ++seen[metric_index(m)];
    for (int n : seen)
        if (n != 1) return false;
    return forward.size() == metric_count<typename RuntimeErrorTable<E>::Metric>;
}
static_assert(is_one_to_one<DataBiasRuntimeError>());
static_assert(is_one_to_one<ModelBiasRuntimeError>());

// The "not present" variant of a metric.
template <class M>
constexpr auto missing_metric_error(M m) {
    if constexpr (std::is_same_v<M, DataBiasMetric>)
        return kErrorOfMetric<DataBiasRuntimeError>[metric_index(m)];
    else
        return kErrorOfMetric<ModelBiasRuntimeError>[metric_index(m)];
}

std::string display(DataBiasRuntimeError e);
std::string display(ModelBiasRuntimeError e);

}  // namespace tarvenn
