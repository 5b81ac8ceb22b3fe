// Typed metric record of linear regression, its construction from a text-keyed
// metric map and its comparisons.
#pragma once

#include <array>
#include <expected>
#include <span>

#include "core/errors.hpp"
#include "core/metrics.hpp"
#include "model_perf/performance_record.hpp"

namespace tarvenn {

struct LinearRegressionRuntime : PerformanceRecord<LinearRegressionEvaluationMetric> {
    // Error metrics fail when latest > (1 + t) × baseline (value L − B); RSquared
    // fails when latest falls below baseline by more than t·|baseline| (value B − L).
    MetricMap<Metric> compare(const LinearRegressionRuntime& baseline, std::span<const Metric> metrics,
                              float threshold) const;
};

}  // namespace tarvenn
