// Streaming model bias: running facet/rest counts of pushed samples, compared on
// demand with a baseline computed from the constructor's data.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>

#include "segmentation/int8_segmentation.hpp"
#include "core/errors.hpp"
#include "core/metrics.hpp"
#include "model_bias/statistics.hpp"
#include "core/monitor_reports.hpp"
#include "model_bias/runtime.hpp"
#include "core/state_fields.hpp"
#include <vector>

namespace tarvenn {

// How each input decides membership; the default is "member when the value is 1".
struct ModelBiasSegmentation {
    Int8Segmentation feature;
    Int8Segmentation prediction;
    Int8Segmentation ground_truth;
};

// Running confusion counts of the facet and the rest.
struct PostTraining {
    PostTrainingCounts counts;

    void accumulate_single(bool facet, bool predicted, bool observed) { counts.add_sample(facet, predicted, observed); }
    void accumulate(const PostTrainingCounts& batch) { counts.add(batch); }
};

// Running benefit counters of the generalized entropy (see BenefitCounts).
struct BucketGeneralizedEntropy {
    BenefitCounts buckets;

    void accumulate_single(bool predicted, bool observed) {
        if (observed && !predicted) ++buckets.c0;
        else if (predicted && !observed) ++buckets.c2;
        else ++buckets.c1;
    }
    void accumulate(const BenefitCounts& batch) {
        buckets.c0 += batch.c0;
        buckets.c1 += batch.c1;
        buckets.c2 += batch.c2;
    }
    std::uint64_t samples() const { return buckets.c0 + buckets.c1 + buckets.c2; }
    float value() const { return generalized_entropy(buckets); }
};

class StreamingModelBias : public MonitorReports<StreamingModelBias, ModelBiasRuntime> {
public:
    using Metric = ModelBiasMetric;

    // The baseline comes from the given samples; the running counts start empty.
    static std::expected<StreamingModelBias, ModelPerformanceError> create(std::span<const std::int8_t> features,
                                                                           std::span<const std::int8_t> predictions,
                                                                           std::span<const std::int8_t> ground_truth,
                                                                           const ModelBiasSegmentation& seg = {});

    void push(std::int8_t feature, std::int8_t prediction, std::int8_t ground_truth) {
        const bool predicted = seg_.prediction.member(prediction);
        const bool observed = seg_.ground_truth.member(ground_truth);
        running_.accumulate_single(seg_.feature.member(feature), predicted, observed);
        buckets_.accumulate_single(predicted, observed);
    }
    std::expected<void, ModelPerformanceError> push_batch(std::span<const std::int8_t> features,
                                                          std::span<const std::int8_t> predictions,
                                                          std::span<const std::int8_t> ground_truth);
    // Zeroes the running counts; the baseline stays.
    void flush() {
        running_ = {};
        buckets_ = {};
    }
    // Replaces the baseline; the running counts are kept.
    std::expected<void, ModelPerformanceError> reset_baseline(std::span<const std::int8_t> features,
                                                              std::span<const std::int8_t> predictions,
                                                              std::span<const std::int8_t> ground_truth);

    const ModelBiasRuntime& baseline() const { return baseline_; }
    std::expected<ModelBiasRuntime, ModelPerformanceError> current() const;

    // Saved state (model_bias/state.cpp): the bytes of the monitor, the monitor
    // of valid bytes, and the running counts of `other` added to this one.
    std::vector<std::uint8_t> save_state() const;
    static std::expected<StreamingModelBias, state::StateError> load_state(std::span<const std::uint8_t> bytes);
    std::expected<void, MergeError> merge(const StreamingModelBias& other);

private:
    StreamingModelBias(const ModelBiasRuntime& baseline, const ModelBiasSegmentation& seg)
        : baseline_(baseline), seg_(seg) {}

    // The metric record of a set of counts: EmptyDataVector when nothing was counted.
    static std::expected<ModelBiasRuntime, ModelPerformanceError> metrics_of(const PostTraining& counts,
                                                                              const BucketGeneralizedEntropy& buckets);
    // The counts of a batch: DataLengthError when the features are empty or the
    // lengths differ.
    std::expected<PostTrainingCounts, ModelPerformanceError> count_batch(std::span<const std::int8_t> features,
                                                                         std::span<const std::int8_t> predictions,
                                                                         std::span<const std::int8_t> ground_truth) const;
    std::expected<ModelBiasRuntime, ModelPerformanceError> baseline_of(std::span<const std::int8_t> features,
                                                                       std::span<const std::int8_t> predictions,
                                                                       std::span<const std::int8_t> ground_truth) const;

    PostTraining running_;
    ModelBiasRuntime baseline_;
    BucketGeneralizedEntropy buckets_;
    ModelBiasSegmentation seg_;
};

}  // namespace tarvenn
