// StreamingDataBias: four running counts of (feature, ground truth) samples and a
// baseline record; metrics and relative changes are computed on demand.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <vector>

#include "data_bias/core.hpp"
#include "segmentation/int8_segmentation.hpp"
#include "core/monitor_reports.hpp"
#include "data_bias/runtime.hpp"
#include "core/state_fields.hpp"

namespace tarvenn {

class StreamingDataBias : public MonitorReports<StreamingDataBias, DataBiasRuntime> {
public:
    using Metric = DataBiasMetric;

    // The baseline comes from the given samples; the running counts start empty.
    static std::expected<StreamingDataBias, ModelPerformanceError> create(std::span<const std::int8_t> features,
                                                                           std::span<const std::int8_t> truths);

    void push(std::int8_t feature, std::int8_t truth) { running_.add(facet_.member(feature), positive_.member(truth)); }
    std::expected<void, ModelPerformanceError> push_batch(std::span<const std::int8_t> features,
                                                          std::span<const std::int8_t> truths);
    void flush() { running_ = {}; }
    // Replaces the baseline and clears the running counts; nothing changes on failure.
    std::expected<void, ModelPerformanceError> reset_baseline(std::span<const std::int8_t> features,
                                                              std::span<const std::int8_t> truths);

    const DataBiasRuntime& baseline() const { return baseline_; }
    // The record of the running counts: EmptyDataVector when nothing was counted.
    std::expected<DataBiasRuntime, ModelPerformanceError> current() const;

    // Saved state (data_bias/state.cpp): the bytes of the monitor, the monitor
    // of valid bytes, and the running counts of `other` added to this one.
    std::vector<std::uint8_t> save_state() const;
    static std::expected<StreamingDataBias, state::StateError> load_state(std::span<const std::uint8_t> bytes);
    std::expected<void, MergeError> merge(const StreamingDataBias& other);

private:
    std::expected<DataBiasRuntime, ModelPerformanceError> baseline_of(std::span<const std::int8_t> features,
                                                                      std::span<const std::int8_t> truths) const;

    PreTrainingCounts running_;
    DataBiasRuntime baseline_;
    Int8Segmentation facet_;
    Int8Segmentation positive_;
};

}  // namespace tarvenn
