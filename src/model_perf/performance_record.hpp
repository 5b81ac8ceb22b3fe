// The base of the model performance records: a MetricRecord whose maps must hold
// every metric (InvalidAnalysisReport otherwise), compared by plain differences.
#pragma once

#include <cstddef>

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

}  // namespace tarvenn
