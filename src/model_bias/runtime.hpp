// The twelve model bias metric values as one record, built from a name map or
// from counts, and its two comparisons: the threshold test of the runtime checks
// and the relative-change table of the streaming monitor.
#pragma once

#include <expected>
#include <span>

#include "core/metric_errors.hpp"
#include "core/metric_record.hpp"
#include "model_bias/statistics.hpp"

namespace tarvenn {

struct ModelBiasRuntime : MetricRecord<ModelBiasMetric> {
    using MapError = ModelBiasRuntimeError;
    static constexpr MapError missing(ModelBiasMetric m) { return missing_metric_error(m); }

    // The batch formulas over running counts: EmptyDataVector for an empty facet or
    // rest, InvalidData when another metric is undefined. The generalized entropy is
    // stored as given.
    static std::expected<ModelBiasRuntime, ModelPerformanceError> new_from_post_training(
        const PostTrainingCounts& counts, float generalized_entropy);

    // The metrics of `metrics` (in order) that moved too far from `baseline`, each
    // with its recorded difference. `this` is the latest record.
    MetricMap<ModelBiasMetric> compare(const ModelBiasRuntime& baseline, std::span<const ModelBiasMetric> metrics,
                                       float threshold) const;

    // abs((current − baseline) / baseline) for all twelve metrics; `this` is current.
    MetricMap<ModelBiasMetric> runtime_drift_report(const ModelBiasRuntime& baseline) const;
    MetricMap<ModelBiasMetric> drift_moves(const ModelBiasRuntime& baseline) const {
        return runtime_drift_report(baseline);
    }
};

}  // namespace tarvenn
