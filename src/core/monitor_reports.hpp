// The reports of every streaming monitor, written once: they compare the record
// of the running counts with the baseline record. `Monitor` derives from
// MonitorReports<Monitor, Record> and provides current() (its record, or an
// error) and baseline(); the record provides to_map(), runtime_drift_report(baseline)
// and drift_moves(baseline) (see core/metric_record.hpp).
#pragma once

#include <expected>
#include <span>

#include "core/drift_report.hpp"
#include "core/errors.hpp"
#include "core/metrics.hpp"

namespace tarvenn {

template <class Monitor, class Record>
class MonitorReports {
public:
    using Metric = typename Record::Metric;

    std::expected<MetricMap<Metric>, ModelPerformanceError> performance_snapshot() const {
        auto now = self().current();
        if (!now) return std::unexpected(now.error());
        return now->to_map();
    }

    std::expected<MetricMap<Metric>, ModelPerformanceError> drift_snapshot() const {
        auto now = self().current();
        if (!now) return std::unexpected(now.error());
        return now->runtime_drift_report(self().baseline());
    }

    // Metrics whose move reaches the threshold.
    std::expected<DriftReport<Metric>, ModelPerformanceError> drift_report(float drift_threshold) const {
        return drift_report_partial_metrics(Record::metrics(), drift_threshold);
    }

    // The same, keeping only the listed metrics. Infinity is kept, NaN never.
    std::expected<DriftReport<Metric>, ModelPerformanceError> drift_report_partial_metrics(
        std::span<const Metric> metrics, float drift_threshold) const {
        auto now = self().current();
        if (!now) return std::unexpected(now.error());
        const MetricMap<Metric> moves = now->drift_moves(self().baseline());
        MetricMap<Metric> kept;
        for (Metric m : metrics) {
            const float move = *moves.get(m);
            if (move >= drift_threshold) kept.insert(m, move);
        }
        return DriftReport<Metric>::from_runtime(kept);
    }

private:
    const Monitor& self() const { return static_cast<const Monitor&>(*this); }
};

}  // namespace tarvenn
