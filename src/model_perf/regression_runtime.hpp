// Typed metric record of linear regression, its construction from a text-keyed
// metric map and its comparisons.
#pragma once

#include <array>
#include <expected>
#include <span>

#include "core/errors.hpp"
#include "core/metrics.hpp"
#include "core/metric_record.hpp"

namespace tarvenn {

struct LinearRegressionRuntime
    : MetricRecord<LinearRegressionEvaluationMetric, metric_count<LinearRegressionEvaluationMetric>> {
    static std::expected<LinearRegressionRuntime, ModelPerformanceError> from_map(const NameMap& map) {
        return record_from_map<LinearRegressionRuntime>(map);
    }
    // Error metrics fail when latest > (1 + t) × baseline (value L − B); RSquared
    // fails when latest falls below baseline by more than t·|baseline| (value B − L).
    MetricMap<Metric> compare_to_baseline(std::span<const Metric> metrics, float threshold,
                                          const LinearRegressionRuntime& baseline) const;
};

}  // namespace tarvenn
