// The streaming monitors' report: the metrics whose relative change reaches the
// drift threshold.
#pragma once

#include <span>

#include "metrics.hpp"
#include "reporting/drift_report.hpp"

namespace tarvenn {

// Keeps each metric of `metrics` whose change is >= threshold (infinity is kept,
// NaN never). `changes` must hold every metric listed.
template <class M>
DriftReport<M> report_changes_reaching(const MetricMap<M>& changes, std::span<const M> metrics, float threshold) {
    MetricMap<M> kept;
    for (M m : metrics) {
        const float change = *changes.get(m);
        if (change >= threshold) kept.insert(m, change);
    }
    return DriftReport<M>::from_runtime(kept);
}

}  // namespace tarvenn
