// The reports of the bias monitors, which compare the record of their running
// counts with a baseline record by relative change. `Monitor` derives from this
// class and provides current() (its record, or an error) and baseline(); the
// record type provides to_map() and runtime_drift_report(baseline).
#pragma once

#include <expected>
#include <optional>
#include <span>

#include "core/errors.hpp"
#include "core/metrics.hpp"
#include "core/drift_report.hpp"

namespace tarvenn {

template <class Monitor, class Metric>
class RelativeDriftReports {
public:
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

    // Metrics whose relative change reaches the threshold (0.1 when absent).
    std::expected<DriftReport<Metric>, ModelPerformanceError> drift_report(std::optional<float> threshold) const {
        const auto metrics = all_metrics<Metric>();
        return drift_report_partial_metrics(metrics, threshold);
    }

    // The same, keeping only the listed metrics. Infinity is kept, NaN never.
    std::expected<DriftReport<Metric>, ModelPerformanceError> drift_report_partial_metrics(
        std::span<const Metric> metrics, std::optional<float> threshold) const {
        auto changes = drift_snapshot();
        if (!changes) return std::unexpected(changes.error());
        const float limit = threshold.value_or(0.1f);
        MetricMap<Metric> kept;
        for (Metric m : metrics) {
            const float change = *changes->get(m);
            if (change >= limit) kept.insert(m, change);
        }
        return DriftReport<Metric>::from_runtime(kept);
    }

private:
    const Monitor& self() const { return static_cast<const Monitor&>(*this); }
};

}  // namespace tarvenn
