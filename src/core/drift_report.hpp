// The outcome of comparing a latest set of metric values with a baseline set:
// passed, or the failing metrics with their drift values.
#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "core/metrics.hpp"

namespace tarvenn {

template <class M>
struct DriftReport {
    std::optional<std::vector<std::pair<M, float>>> failed_report;
    bool passed = true;

    // An empty failure map passes; otherwise every entry is reported, in the map's
    // (declaration) order.
    static DriftReport from_runtime(const MetricMap<M>& failures) {
        DriftReport report;
        if (failures.empty()) return report;
        std::vector<std::pair<M, float>> failed;
        failures.for_each([&](M m, float v) { failed.emplace_back(m, v); });
        report.failed_report = std::move(failed);
        report.passed = false;
        return report;
    }
};

}  // namespace tarvenn
