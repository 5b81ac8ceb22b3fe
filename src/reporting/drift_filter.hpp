// The streaming monitors' report: the metrics whose relative change reaches the
// drift threshold.
#pragma once

#include <algorithm>
#include <optional>
#include <span>

#include "metrics.hpp"
#include "reporting/drift_report.hpp"

namespace tarvenn {

// Keeps every change >= threshold (infinity kept, NaN never), restricted to
// `only` when it is given.
template <class M>
DriftReport<M> report_changes_reaching(const MetricMap<M>& changes, float threshold,
                                       std::optional<std::span<const M>> only = std::nullopt) {
    MetricMap<M> kept;
    changes.for_each([&](M m, float change) {
        if (only && std::find(only->begin(), only->end(), m) == only->end()) return;
        if (change >= threshold) kept.insert(m, change);
    });
    return DriftReport<M>::from_runtime(kept);
}

}  // namespace tarvenn
