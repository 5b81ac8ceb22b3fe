// DataBiasRuntime: one 32-bit value per data bias metric, with the runtime check
// (which metrics moved too far) and the relative change used by the monitors.
#pragma once

#include <array>
#include <expected>
#include <optional>
#include <vector>

#include "data_bias/core.hpp"
#include "core/metrics.hpp"

namespace tarvenn {

struct DataBiasRuntime {
    std::array<float, 7> values{};  // indexed by DataBiasMetric

    float operator[](DataBiasMetric m) const { return values[metric_index(m)]; }

    static std::expected<DataBiasRuntime, DataBiasRuntimeError> try_from(const MetricMap<DataBiasMetric>& map);
    static std::expected<DataBiasRuntime, DataBiasRuntimeError> try_from(const NameMap& map);
    static std::expected<DataBiasRuntime, ModelPerformanceError> new_from_pre_training(const PreTrainingCounts& counts);

    MetricMap<DataBiasMetric> to_map() const;

    // Failing metrics among `metrics` (latest = *this) with their drift values.
    MetricMap<DataBiasMetric> runtime_check(const DataBiasRuntime& baseline, const std::vector<DataBiasMetric>& metrics,
                                            float threshold) const;
    // Relative change |current - baseline| / max(|baseline|, eps) of all seven.
    MetricMap<DataBiasMetric> runtime_drift_report(const DataBiasRuntime& baseline) const;
};

}  // namespace tarvenn
