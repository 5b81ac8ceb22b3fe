// Metric enumerations of the four metric families, their names (parse form and
// display form are the same text) and metric-name list parsing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/errors.hpp"
#include "core/settings.hpp"

namespace tarvenn {

enum class DataBiasMetric : std::uint8_t {
    ClassImbalance,
    DifferenceInProportionOfLabels,
    KlDivergence,
    JsDivergence,
    LpNorm,
    TotalVariationDistance,
    KolmogorovSmirnov,
};

enum class ModelBiasMetric : std::uint8_t {
    DifferenceInPositivePredictedLabels,
    DisparateImpact,
    AccuracyDifference,
    RecallDifference,
    DifferenceInConditionalAcceptance,
    DifferenceInAcceptanceRate,
    SpecialityDifference,
    DifferenceInConditionalRejection,
    DifferenceInRejectionRate,
    TreatmentEquity,
    ConditionalDemographicDesparityPredictedLabels,
    GeneralizedEntropy,
};

enum class ClassificationEvaluationMetric : std::uint8_t {
    BalancedAccuracy,
    PrecisionPositive,
    PrecisionNegative,
    RecallPositive,
    RecallNegative,
    Accuracy,
    F1Score,
    LogLoss,
};

enum class LinearRegressionEvaluationMetric : std::uint8_t {
    RootMeanSquaredError,
    MeanSquaredError,
    MeanAbsoluteError,
    RSquared,
    MaxError,
    MeanSquaredLogError,
    RootMeanSquaredLogError,
    MeanAbsolutePercentageError,
};

// Per-enumeration facts: the names in declaration order.
template <class M>
struct MetricInfo;

template <>
struct MetricInfo<DataBiasMetric> {
    static constexpr std::array<std::string_view, 7> names{
        "ClassImbalance", "DifferenceInProportionOfLabels", "KlDivergence", "JsDivergence",
        "LpNorm",         "TotalVariationDistance",         "KolmogorovSmirnov",
    };
};

template <>
struct MetricInfo<ModelBiasMetric> {
    static constexpr std::array<std::string_view, 12> names{
        "DifferenceInPositivePredictedLabels",
        "DisparateImpact",
        "AccuracyDifference",
        "RecallDifference",
        "DifferenceInConditionalAcceptance",
        "DifferenceInAcceptanceRate",
        "SpecialityDifference",
        "DifferenceInConditionalRejection",
        "DifferenceInRejectionRate",
        "TreatmentEquity",
        "ConditionalDemographicDesparityPredictedLabels",
        "GeneralizedEntropy",
    };
};

template <>
struct MetricInfo<ClassificationEvaluationMetric> {
    static constexpr std::array<std::string_view, 8> names{
        "BalancedAccuracy", "PrecisionPositive", "PrecisionNegative", "RecallPositive",
        "RecallNegative",   "Accuracy",          "F1Score",           "LogLoss",
    };
};

template <>
struct MetricInfo<LinearRegressionEvaluationMetric> {
    static constexpr std::array<std::string_view, 8> names{
        "RootMeanSquaredError", "MeanSquaredError",        "MeanAbsoluteError",
        "RSquared",             "MaxError",                "MeanSquaredLogError",
        "RootMeanSquaredLogError", "MeanAbsolutePercentageError",
    };
};

template <class M>
inline constexpr std::size_t metric_count = MetricInfo<M>::names.size();

template <class M>
constexpr std::string_view metric_name(M m) {
    return MetricInfo<M>::names[static_cast<std::size_t>(m)];
}

template <class M>
constexpr std::size_t metric_index(M m) {
    return static_cast<std::size_t>(m);
}

// Exact, case-sensitive match of the whole text.
template <class M>
std::optional<M> parse_metric(std::string_view text) {
    const auto& names = MetricInfo<M>::names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == text) return static_cast<M>(i);
    }
    return std::nullopt;
}

// Parses a metric-name list, keeping order and duplicates. Unknown names are all
// collected, in input order, into one error.
template <class M>
std::expected<std::vector<M>, InvalidMetricError> parse_metric_list(const std::vector<std::string>& texts) {
    std::vector<M> metrics;
    metrics.reserve(texts.size());
    InvalidMetricError rejected;
    for (const auto& text : texts) {
        if (auto m = parse_metric<M>(text)) {
            metrics.push_back(*m);
        } else {
            rejected.names.push_back(text);
        }
    }
    if (!rejected.names.empty()) return std::unexpected(std::move(rejected));
    return metrics;
}

// Parses a binary-classification metric list. As parse_metric_list, except that a
// LogLoss entry ends the parse at once with an error naming only that entry (the
// names rejected before it are dropped, later ones are not examined).
std::expected<std::vector<ClassificationEvaluationMetric>, InvalidMetricError>
parse_classification_metric_list(const std::vector<std::string>& texts);

// A map from metric to 32-bit value, iterated in declaration order. Used for
// metric results, failure maps and relative-change maps.
template <class M>
class MetricMap {
public:
    static constexpr std::size_t N = metric_count<M>;

    void insert(M m, float v) {
        values_[metric_index(m)] = v;
        present_[metric_index(m)] = true;
    }
    bool contains(M m) const { return present_[metric_index(m)]; }
    std::optional<float> get(M m) const {
        if (!contains(m)) return std::nullopt;
        return values_[metric_index(m)];
    }
    bool empty() const {
        for (bool p : present_)
            if (p) return false;
        return true;
    }
    std::size_t size() const {
        std::size_t n = 0;
        for (bool p : present_) n += p;
        return n;
    }
    template <class F>
    void for_each(F&& f) const {
        for (std::size_t i = 0; i < N; ++i)
            if (present_[i]) f(static_cast<M>(i), values_[i]);
    }

private:
    std::array<float, N> values_{};
    std::array<bool, N> present_{};
};

// A metric dict as the caller gave it: text keys with 32-bit values, in dict order.
using NameMap = std::vector<std::pair<std::string, float>>;

inline std::optional<float> lookup(const NameMap& map, std::string_view name) {
    for (const auto& [key, value] : map)
        if (key == name) return value;
    return std::nullopt;
}

// Text-keyed map to metric map; every unknown key is listed in the error, in the
// map's order.
template <class M>
std::expected<MetricMap<M>, InvalidMetricError> convert_analysis(const NameMap& map) {
    MetricMap<M> metrics;
    InvalidMetricError rejected;
    for (const auto& [key, value] : map) {
        if (auto m = parse_metric<M>(key)) metrics.insert(*m, value);
        else rejected.names.push_back(key);
    }
    if (!rejected.names.empty()) return std::unexpected(std::move(rejected));
    return metrics;
}

// The first N metrics of the enumeration (all of them by default), in declaration order.
template <class M, std::size_t N = metric_count<M>>
inline constexpr std::array<M, N> kFirstMetrics = [] {
    std::array<M, N> list{};
    for (std::size_t i = 0; i < N; ++i) list[i] = static_cast<M>(i);
    return list;
}();

// Every metric of the enumeration, in declaration order, without allocating.
template <class M>
constexpr std::span<const M> all_metrics() {
    return kFirstMetrics<M>;
}

}  // namespace tarvenn
