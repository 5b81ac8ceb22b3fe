// The base of the model performance records: a MetricRecord whose maps must hold
// every metric (InvalidAnalysisReport otherwise), compared by plain differences.
#pragma once

#include <cstddef>
#include <span>

#include "core/errors.hpp"
#include "core/metric_record.hpp"

namespace tarvenn {

constexpr bool lower_is_better(ClassificationEvaluationMetric m) { return m == ClassificationEvaluationMetric::LogLoss; }
constexpr bool lower_is_better(LinearRegressionEvaluationMetric m) {
    return m != LinearRegressionEvaluationMetric::RSquared;
}

template <class M, std::size_t N = metric_count<M>>
struct PerformanceRecord : MetricRecord<M, N> {
    using MapError = ModelPerformanceError;
    static constexpr MapError missing(M) {
        return ModelPerformanceError::of(ModelPerformanceError::Kind::InvalidAnalysisReport);
    }

    // baseline − latest for every metric, unfiltered.
    MetricMap<M> runtime_drift_report(const PerformanceRecord& baseline) const {
        MetricMap<M> map;
        for (std::size_t i = 0; i < N; ++i) map.insert(static_cast<M>(i), baseline.values[i] - this->values[i]);
        return map;
    }

    // How far each metric moved the wrong way: a higher-is-better metric's fall, a
    // lower-is-better one's rise.
    MetricMap<M> drift_moves(const PerformanceRecord& baseline) const {
        MetricMap<M> map;
        for (std::size_t i = 0; i < N; ++i) {
            const M m = static_cast<M>(i);
            map.insert(m, lower_is_better(m) ? this->values[i] - baseline.values[i]
                                             : baseline.values[i] - this->values[i]);
        }
        return map;
    }
};

// The runtime check of a record with metrics of both directions (latest = `latest`):
// a lower-is-better metric fails when latest > (1 + t) × baseline (value L − B), a
// higher-is-better one when latest < floor(baseline, 1 + t, 1 − t) (value B − L).
template <class Record, class Floor>
MetricMap<typename Record::Metric> check_both_directions(const Record& latest, const Record& baseline,
                                                         std::span<const typename Record::Metric> metrics,
                                                         float threshold, Floor floor) {
    const float grow = 1.0f + threshold;
    const float shrink = 1.0f - threshold;
    MetricMap<typename Record::Metric> failed;
    for (const auto m : metrics) {
        const float now = latest[m];
        const float base = baseline[m];
        if (lower_is_better(m)) {
            if (now > grow * base) failed.insert(m, now - base);
        } else if (now < floor(base, grow, shrink)) {
            failed.insert(m, base - now);
        }
    }
    return failed;
}

}  // namespace tarvenn
