// Streaming performance monitors: a baseline metric record computed once, and
// fixed-size running accumulators that pushes add to. Every operation either
// succeeds or returns an error and leaves the monitor as it was.
#pragma once

#include <cstdint>
#include <expected>
#include <span>

#include "core/confusion_matrix.hpp"
#include "core/errors.hpp"
#include "core/metrics.hpp"
#include "model_perf/metrics.hpp"
#include "core/drift_report.hpp"
#include "core/monitor_reports.hpp"
#include "core/state_fields.hpp"
#include <vector>

namespace tarvenn {

using Status = std::expected<void, ModelPerformanceError>;

class LinearRegressionStreaming : public MonitorReports<LinearRegressionStreaming, LinearRegressionRuntime> {
public:
    using Metric = LinearRegressionEvaluationMetric;

    static std::expected<LinearRegressionStreaming, ModelPerformanceError> create(
        std::span<const float> y_true, std::span<const float> y_pred);

    void push(float t, float p) { buckets_.push(t, p); }
    Status push_batch(std::span<const float> y_true, std::span<const float> y_pred);
    // push_batch in parts, for input read block by block: the checks of a batch of
    // these lengths (push_batch fails exactly when they do), then its blocks in order.
    Status check_batch(std::size_t true_count, std::size_t pred_count) const;
    void add_block(std::span<const float> y_true, std::span<const float> y_pred) { buckets_.push_all(y_true, y_pred); }
    void flush() { buckets_ = {}; }
    // Replaces the baseline only; the stream is kept.
    Status reset_baseline(std::span<const float> y_true, std::span<const float> y_pred);

    std::expected<LinearRegressionRuntime, ModelPerformanceError> current() const;
    const LinearRegressionRuntime& baseline() const { return baseline_; }

    // Saved state (model_perf/state.cpp): the bytes of the monitor, the monitor
    // of valid bytes, and the running counts of `other` added to this one.
    std::vector<std::uint8_t> save_state() const;
    static std::expected<LinearRegressionStreaming, state::StateError> load_state(std::span<const std::uint8_t> bytes);
    std::expected<void, MergeError> merge(const LinearRegressionStreaming& other);

private:
    explicit LinearRegressionStreaming(const LinearRegressionRuntime& baseline) : baseline_(baseline) {}

    LinearRegressionRuntime baseline_;
    LinearRegressionErrorBuckets buckets_;
};

class LogisticRegressionStreaming
    : public MonitorReports<LogisticRegressionStreaming, LogisticRegressionRuntime> {
public:
    using Metric = ClassificationEvaluationMetric;

    static std::expected<LogisticRegressionStreaming, ModelPerformanceError> create(
        std::span<const float> y_true, std::span<const float> y_pred, float threshold);

    // Fails with InvalidData when the clip bounds are inverted.
    Status push(float y_true, float y_pred);
    Status push_batch(std::span<const float> y_true, std::span<const float> y_pred);
    // push_batch in parts, as for the linear stream.
    Status check_batch(std::size_t true_count, std::size_t pred_count) const;
    void add_block(std::span<const float> y_true, std::span<const float> y_pred);
    // Zeroes the stream and reads the stability epsilon again.
    void flush();
    // Replaces the baseline (built with the stored decision threshold) only.
    Status reset_baseline(std::span<const float> y_true, std::span<const float> y_pred);
    // Replaces the baseline and the decision threshold together, or neither.
    Status reset_baseline_and_decision_threshold(std::span<const float> y_true,
                                                 std::span<const float> y_pred, float threshold);

    std::expected<LogisticRegressionRuntime, ModelPerformanceError> current() const;
    const LogisticRegressionRuntime& baseline() const { return baseline_; }

    // Saved state (model_perf/state.cpp): the bytes of the monitor, the monitor
    // of valid bytes, and the running counts of `other` added to this one.
    std::vector<std::uint8_t> save_state() const;
    static std::expected<LogisticRegressionStreaming, state::StateError> load_state(std::span<const std::uint8_t> bytes);
    std::expected<void, MergeError> merge(const LogisticRegressionStreaming& other);

private:
    LogisticRegressionStreaming(const LogisticRegressionRuntime& baseline, float threshold);
    void set_clip_eps(float eps);

    LogisticRegressionRuntime baseline_;
    ConfusionMatrix confusion_;
    double log_loss_sum_ = 0.0;
    float clip_eps_ = 0.0f;
    LogLossClip clip_{};
    float decision_threshold_;
};

template <class Label>
class BinaryClassificationStreaming
    : public MonitorReports<BinaryClassificationStreaming<Label>, BinaryClassificationRuntime> {
public:
    using Metric = ClassificationEvaluationMetric;

    static std::expected<BinaryClassificationStreaming, ModelPerformanceError> create(
        std::span<const Label> y_true, std::span<const Label> y_pred);

    void push(const Label& y_true, const Label& y_pred) {
        confusion_.push(y_true == positive_label_, y_pred == positive_label_);
    }
    // An empty batch is accepted and changes nothing.
    Status push_batch(std::span<const Label> y_true, std::span<const Label> y_pred) {
        return confusion_.push_dataset(y_true, y_pred, positive_label_);
    }
    void flush() { confusion_ = {}; }
    // Replaces the baseline and clears the stream.
    Status reset_baseline(std::span<const Label> y_true, std::span<const Label> y_pred);

    std::expected<BinaryClassificationRuntime, ModelPerformanceError> current() const;
    const BinaryClassificationRuntime& baseline() const { return baseline_; }

    // Saved state (model_perf/state.cpp): the bytes of the monitor, the monitor
    // of valid bytes, and the running counts of `other` added to this one.
    std::vector<std::uint8_t> save_state() const;
    static std::expected<BinaryClassificationStreaming, state::StateError> load_state(std::span<const std::uint8_t> bytes);
    std::expected<void, MergeError> merge(const BinaryClassificationStreaming& other);

private:
    explicit BinaryClassificationStreaming(const BinaryClassificationRuntime& baseline)
        : baseline_(baseline) {}

    ConfusionMatrix confusion_;
    Label positive_label_ = 1;
    BinaryClassificationRuntime baseline_;
};

extern template class BinaryClassificationStreaming<std::int32_t>;

}  // namespace tarvenn
