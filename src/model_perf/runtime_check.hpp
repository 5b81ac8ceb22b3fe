// Runtime checks of model performance: build the baseline and latest records from
// their text-keyed maps, compare them, and form the report.
#pragma once

#include <expected>
#include <span>

#include "core/errors.hpp"
#include "core/metrics.hpp"
#include "core/drift_report.hpp"
#include "model_perf/classification_runtime.hpp"

namespace tarvenn {

template <class M>
using PerformanceReport = std::expected<DriftReport<M>, ModelPerformanceError>;

// Every metric of each family, in declaration order.
std::span<const ClassificationEvaluationMetric> all_classification_metrics();  // 7, no LogLoss
std::span<const ClassificationEvaluationMetric> all_logistic_metrics();        // 8
std::span<const LinearRegressionEvaluationMetric> all_regression_metrics();    // 8

// The baseline map is checked before the latest one; a missing name fails with
// InvalidAnalysisReport whatever metrics are requested.
PerformanceReport<ClassificationEvaluationMetric> classification_performance_runtime(
    const NameMap& baseline, const NameMap& latest,
    std::span<const ClassificationEvaluationMetric> metrics, float threshold);
PerformanceReport<ClassificationEvaluationMetric> logistic_performance_runtime(
    const NameMap& baseline, const NameMap& latest,
    std::span<const ClassificationEvaluationMetric> metrics, float threshold);
PerformanceReport<LinearRegressionEvaluationMetric> regression_performance_runtime(
    const NameMap& baseline, const NameMap& latest,
    std::span<const LinearRegressionEvaluationMetric> metrics, float threshold);

}  // namespace tarvenn
