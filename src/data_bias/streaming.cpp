#include "data_bias/streaming.hpp"

#include <cmath>

#include "segmentation/int8_counting.hpp"

namespace tarvenn {
namespace {

bool same_nonempty_length(std::span<const std::int8_t> a, std::span<const std::int8_t> b) {
    return a.size() == b.size() && !a.empty();
}

// The four counts of a batch, from one vectorised pass over both columns.
PreTrainingCounts count_samples(std::span<const std::int8_t> features, std::span<const std::int8_t> truths,
                                const Int8Segmentation& facet, const Int8Segmentation& positive) {
    const PairMembership m = count_pair_membership(features, truths, facet, positive);
    return PreTrainingCounts{m.both, m.first, m.second - m.both, m.rows - m.first};
}

}  // namespace

std::expected<DataBiasRuntime, ModelPerformanceError> StreamingDataBias::baseline_of(
    std::span<const std::int8_t> features, std::span<const std::int8_t> truths) const {
    if (!same_nonempty_length(features, truths)) return std::unexpected(ModelPerformanceError::of(BiasError::DataLengthError));
    const PreTrainingCounts counts = count_samples(features, truths, facet_, positive_);
    if (counts.facet_a_count == 0 || counts.facet_d_count == 0)
        return std::unexpected(ModelPerformanceError::of(BiasError::NoFacetDeviation));
    return DataBiasRuntime::new_from_pre_training(counts);
}

std::expected<StreamingDataBias, ModelPerformanceError> StreamingDataBias::create(
    std::span<const std::int8_t> features, std::span<const std::int8_t> truths) {
    StreamingDataBias monitor;
    auto baseline = monitor.baseline_of(features, truths);
    if (!baseline) return std::unexpected(baseline.error());
    monitor.baseline_ = *baseline;
    return monitor;
}

std::expected<void, ModelPerformanceError> StreamingDataBias::push_batch(std::span<const std::int8_t> features,
                                                                         std::span<const std::int8_t> truths) {
    if (!same_nonempty_length(features, truths)) return std::unexpected(ModelPerformanceError::of(BiasError::DataLengthError));
    running_.add(count_samples(features, truths, facet_, positive_));
    return {};
}

std::expected<void, ModelPerformanceError> StreamingDataBias::reset_baseline(std::span<const std::int8_t> features,
                                                                             std::span<const std::int8_t> truths) {
    auto baseline = baseline_of(features, truths);
    if (!baseline) return std::unexpected(baseline.error());
    baseline_ = *baseline;
    running_ = {};
    return {};
}

std::expected<DataBiasRuntime, ModelPerformanceError> StreamingDataBias::current() const {
    if (running_.facet_a_count + running_.facet_d_count == 0)
        return std::unexpected(ModelPerformanceError::of(ModelPerformanceError::Kind::EmptyDataVector));
    return DataBiasRuntime::new_from_pre_training(running_);
}

}  // namespace tarvenn
