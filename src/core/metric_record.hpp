// A typed metric record: one 32-bit value per metric of orders 0..N-1 of the
// enumeration M, with its map forms and its construction from a text-keyed map.
#pragma once

#include <array>
#include <cstddef>
#include <expected>

#include "core/errors.hpp"
#include "core/metrics.hpp"

namespace tarvenn {

template <class M, std::size_t N>
struct MetricRecord {
    using Metric = M;
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
    MetricMap<Metric> runtime_drift_report(const MetricRecord& baseline) const {
        MetricMap<Metric> map;
        for (std::size_t i = 0; i < N; ++i) map.insert(static_cast<Metric>(i), baseline.values[i] - values[i]);
        return map;
    }
};

// The record of type Record (a MetricRecord) taken from a text-keyed map; a missing
// name fails with InvalidAnalysisReport. Unknown keys are ignored.
template <class Record>
std::expected<Record, ModelPerformanceError> record_from_map(const NameMap& map) {
    Record record;
    for (std::size_t i = 0; i < Record::size; ++i) {
        const auto v = lookup(map, metric_name(static_cast<typename Record::Metric>(i)));
        if (!v) return std::unexpected(ModelPerformanceError::of(ModelPerformanceError::Kind::InvalidAnalysisReport));
        record.values[i] = *v;
    }
    return record;
}

}  // namespace tarvenn
