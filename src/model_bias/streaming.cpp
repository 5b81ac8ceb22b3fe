#include "model_bias/streaming.hpp"

#include <cstddef>

#include "segmentation/int8_counting.hpp"

namespace tarvenn {

namespace {

SampleCells count_value_cells(std::span<const std::int8_t> features, std::span<const std::int8_t> predictions,
                              std::span<const std::int8_t> ground_truth, const ModelBiasSegmentation& seg) {
    return cells_of(count_triple_membership(features, predictions, ground_truth, seg.feature, seg.prediction,
                                            seg.ground_truth));
}

}  // namespace

std::expected<PostTrainingCounts, ModelPerformanceError> StreamingModelBias::count_batch(
    std::span<const std::int8_t> features, std::span<const std::int8_t> predictions,
    std::span<const std::int8_t> ground_truth) const {
    if (features.empty() || predictions.size() != features.size() || ground_truth.size() != features.size())
        return std::unexpected(ModelPerformanceError::of(BiasError::DataLengthError));
    PostTrainingCounts counts;
    counts.add_cells(count_value_cells(features, predictions, ground_truth, seg_));
    return counts;
}

std::expected<ModelBiasRuntime, ModelPerformanceError> StreamingModelBias::metrics_of(
    const PostTraining& counts, const BucketGeneralizedEntropy& buckets) {
    if (buckets.samples() == 0) return std::unexpected(ModelPerformanceError::of(ModelPerformanceError::Kind::EmptyDataVector));
    return ModelBiasRuntime::new_from_post_training(counts.counts, buckets.value());
}

std::expected<ModelBiasRuntime, ModelPerformanceError> StreamingModelBias::baseline_of(
    std::span<const std::int8_t> features, std::span<const std::int8_t> predictions,
    std::span<const std::int8_t> ground_truth) const {
    auto counts = count_batch(features, predictions, ground_truth);
    if (!counts) return std::unexpected(counts.error());
    PostTraining running;
    BucketGeneralizedEntropy buckets;
    running.accumulate(*counts);
    buckets.accumulate(benefit_counts(*counts));
    return metrics_of(running, buckets);
}

std::expected<StreamingModelBias, ModelPerformanceError> StreamingModelBias::create(
    std::span<const std::int8_t> features, std::span<const std::int8_t> predictions,
    std::span<const std::int8_t> ground_truth, const ModelBiasSegmentation& seg) {
    StreamingModelBias monitor(ModelBiasRuntime{}, seg);
    auto baseline = monitor.baseline_of(features, predictions, ground_truth);
    if (!baseline) return std::unexpected(baseline.error());
    monitor.baseline_ = *baseline;
    return monitor;
}

std::expected<void, ModelPerformanceError> StreamingModelBias::push_batch(std::span<const std::int8_t> features,
                                                                          std::span<const std::int8_t> predictions,
                                                                          std::span<const std::int8_t> ground_truth) {
    auto counts = count_batch(features, predictions, ground_truth);
    if (!counts) return std::unexpected(counts.error());
    running_.accumulate(*counts);
    buckets_.accumulate(benefit_counts(*counts));
    return {};
}

std::expected<void, ModelPerformanceError> StreamingModelBias::reset_baseline(std::span<const std::int8_t> features,
                                                                              std::span<const std::int8_t> predictions,
                                                                              std::span<const std::int8_t> ground_truth) {
    auto baseline = baseline_of(features, predictions, ground_truth);
    if (!baseline) return std::unexpected(baseline.error());
    baseline_ = *baseline;
    return {};
}

std::expected<ModelBiasRuntime, ModelPerformanceError> StreamingModelBias::current() const {
    return metrics_of(running_, buckets_);
}

}  // namespace tarvenn
