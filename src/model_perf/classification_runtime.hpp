// Typed metric records of binary classification and logistic regression, their
// construction from text-keyed metric maps and their comparisons.
#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/errors.hpp"
#include "core/metrics.hpp"
#include "model_perf/performance_record.hpp"

namespace tarvenn {

// One 32-bit value per metric of orders 0..N-1 of ClassificationEvaluationMetric.
template <std::size_t N>
using ClassificationRecord = PerformanceRecord<ClassificationEvaluationMetric, N>;

// The seven hard-label metrics (no LogLoss).
struct BinaryClassificationRuntime : ClassificationRecord<7> {
    // Fails a metric when (1 + t) × latest < baseline; the value entered is B − L.
    MetricMap<Metric> compare(const BinaryClassificationRuntime& baseline, std::span<const Metric> metrics,
                              float threshold) const;
};

// The seven count metrics plus LogLoss.
struct LogisticRegressionRuntime : ClassificationRecord<8> {
    // Higher-is-better metrics fail when latest < (1 − t) × baseline (value B − L);
    // LogLoss fails when latest > (1 + t) × baseline (value L − B).
    MetricMap<Metric> compare(const LogisticRegressionRuntime& baseline, std::span<const Metric> metrics,
                              float threshold) const;
};

}  // namespace tarvenn
