// The typed metric record: one 32-bit value per metric of orders 0..N-1 of the
// enumeration M, with its map form and its one construction from a map. Each
// family's record derives from it and adds its comparisons:
//   compare(baseline, metrics, threshold)  the runtime check of *this (latest)
//   runtime_drift_report(baseline)         the monitors' drift snapshot
//   drift_moves(baseline)                  the moves their drift report thresholds
// and names the error of a missing metric (`MapError`, `missing(metric)`).
#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <optional>
#include <span>

#include "core/errors.hpp"
#include "core/metrics.hpp"

namespace tarvenn {

template <class M, std::size_t N = metric_count<M>>
struct MetricRecord {
    using Metric = M;
    static constexpr std::size_t size = N;

    std::array<float, N> values{};

    float operator[](Metric m) const { return values[metric_index(m)]; }
    float& operator[](Metric m) { return values[metric_index(m)]; }

    // The metrics of the record, in declaration order.
    static constexpr std::span<const Metric> metrics() { return kFirstMetrics<Metric, N>; }

    // Every field under its own metric.
    MetricMap<Metric> to_map() const {
        MetricMap<Metric> map;
        for (std::size_t i = 0; i < N; ++i) map.insert(static_cast<Metric>(i), values[i]);
        return map;
    }
};

template <class M>
std::optional<float> value_in(const NameMap& map, M m) {
    return lookup(map, metric_name(m));
}
template <class M>
std::optional<float> value_in(const MetricMap<M>& map, M m) {
    return map.get(m);
}

// The record of type Record taken from a text-keyed or metric-keyed map: its
// metrics are looked up in order and the first missing one fails with
// Record::missing(metric). Other keys are ignored.
template <class Record, class Map>
std::expected<Record, typename Record::MapError> record_from_map(const Map& map) {
    Record record;
    for (const auto m : Record::metrics()) {
        const std::optional<float> v = value_in(map, m);
        if (!v) return std::unexpected(Record::missing(m));
        record[m] = *v;
    }
    return record;
}

}  // namespace tarvenn
