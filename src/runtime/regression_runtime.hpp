// Typed metric record of linear regression, its construction from a text-keyed
// metric map and its comparisons.
#pragma once

#include <array>
#include <expected>
#include <span>

#include "errors/errors.hpp"
#include "metrics.hpp"
#include "runtime/classification_runtime.hpp"

namespace tarvenn {

struct LinearRegressionRuntime {
    using Metric = LinearRegressionEvaluationMetric;
    static constexpr std::size_t size = metric_count<Metric>;

    std::array<float, size> values{};

    float operator[](Metric m) const { return values[metric_index(m)]; }
    float& operator[](Metric m) { return values[metric_index(m)]; }

    static std::expected<LinearRegressionRuntime, ModelPerformanceError> from_map(const NameMap& map);
    MetricMap<Metric> to_map() const;
    // baseline − latest for every metric, unfiltered.
    MetricMap<Metric> runtime_drift_report(const LinearRegressionRuntime& baseline) const;
    // Error metrics fail when latest > (1 + t) × baseline (value L − B); RSquared
    // fails when latest falls below baseline by more than t·|baseline| (value B − L).
    MetricMap<Metric> compare_to_baseline(std::span<const Metric> metrics, float threshold,
                                          const LinearRegressionRuntime& baseline) const;
};

}  // namespace tarvenn
