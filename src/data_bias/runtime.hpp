// DataBiasRuntime: the record of the seven data bias metrics, with the runtime
// check (which metrics moved too far) and the relative change used by the monitors.
#pragma once

#include <expected>
#include <span>

#include "core/metric_errors.hpp"
#include "core/metric_record.hpp"
#include "data_bias/core.hpp"

namespace tarvenn {

struct DataBiasRuntime : MetricRecord<DataBiasMetric> {
    using MapError = DataBiasRuntimeError;
    static constexpr MapError missing(DataBiasMetric m) { return missing_metric_error(m); }

    // DataLengthError (as a ModelPerformanceError) when a facet is empty.
    static std::expected<DataBiasRuntime, ModelPerformanceError> new_from_pre_training(const PreTrainingCounts& counts);

    // Failing metrics among `metrics` (latest = *this) with their drift values.
    MetricMap<DataBiasMetric> compare(const DataBiasRuntime& baseline, std::span<const DataBiasMetric> metrics,
                                      float threshold) const;
    // Relative change |current - baseline| / max(|baseline|, eps) of all seven.
    MetricMap<DataBiasMetric> runtime_drift_report(const DataBiasRuntime& baseline) const;
    MetricMap<DataBiasMetric> drift_moves(const DataBiasRuntime& baseline) const {
        return runtime_drift_report(baseline);
    }
};

}  // namespace tarvenn
