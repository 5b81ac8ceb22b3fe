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

#include "errors/errors.hpp"
#include "metrics.hpp"

namespace tarvenn {

// One 32-bit value per metric of orders 0..N-1 of ClassificationEvaluationMetric.
template <std::size_t N>
struct ClassificationRecord {
    using Metric = ClassificationEvaluationMetric;
    static constexpr std::size_t size = N;

    std::array<float, N> values{};

    float operator[](Metric m) const { return values[metric_index(m)]; }
    float& operator[](Metric m) { return values[metric_index(m)]; }

    // Every field under its own metric.
    MetricMap<Metric> to_map() const {
        MetricMap<Metric> map;
        for (std::size_t i = 0; i < N; ++i) map.insert(static_cast<Metric>(i), values[i]);
        return map;
    }

    // baseline − latest for every metric, unfiltered.
    MetricMap<Metric> runtime_drift_report(const ClassificationRecord& baseline) const {
        MetricMap<Metric> map;
        for (std::size_t i = 0; i < N; ++i)
            map.insert(static_cast<Metric>(i), baseline.values[i] - values[i]);
        return map;
    }

    // The record of the metrics of orders 0..N-1 taken from a text-keyed map; a
    // missing name fails with InvalidAnalysisReport. Unknown keys are ignored.
    static std::expected<ClassificationRecord, ModelPerformanceError> from_map(const NameMap& map);
};

// The seven hard-label metrics (no LogLoss).
struct BinaryClassificationRuntime : ClassificationRecord<7> {
    static std::expected<BinaryClassificationRuntime, ModelPerformanceError> from_map(
        const NameMap& map);
    // Fails a metric when (1 + t) × latest < baseline; the value entered is B − L.
    MetricMap<Metric> compare_to_baseline(std::span<const Metric> metrics, float threshold,
                                          const BinaryClassificationRuntime& baseline) const;
};

// The seven count metrics plus LogLoss.
struct LogisticRegressionRuntime : ClassificationRecord<8> {
    static std::expected<LogisticRegressionRuntime, ModelPerformanceError> from_map(
        const NameMap& map);
    // Higher-is-better metrics fail when latest < (1 − t) × baseline (value B − L);
    // LogLoss fails when latest > (1 + t) × baseline (value L − B).
    MetricMap<Metric> compare_to_baseline(std::span<const Metric> metrics, float threshold,
                                          const LogisticRegressionRuntime& baseline) const;
};

}  // namespace tarvenn
