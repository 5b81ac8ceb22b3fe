// Model performance formulas: classification metrics from confusion counts, the
// logistic-regression record with its log loss, and the regression error sums
// with the metrics derived from them.
#pragma once

#include <expected>
#include <span>

#include "core/confusion_matrix.hpp"
#include "core/errors.hpp"
#include "model_perf/classification_runtime.hpp"
#include "model_perf/regression_runtime.hpp"

namespace tarvenn {

// The seven count metrics in 32-bit arithmetic; each count is converted to a
// 32-bit float on its own. No division is guarded: 0/0 gives NaN.
BinaryClassificationRuntime classification_from_counts(const ConfusionMatrix& counts);

// Counts hard labels: a value is positive exactly when it equals 1.0.
ConfusionMatrix count_hard_labels(std::span<const float> y_true, std::span<const float> y_pred);

// Counts scores: a value is positive exactly when it is >= threshold (NaN never is).
ConfusionMatrix count_thresholded(std::span<const float> y_true, std::span<const float> y_pred,
                                  float threshold);

// Clip bounds of the log loss for a stability epsilon narrowed to 32 bits. When
// 1 − ε rounds to 1.0 the upper bound is the largest float below 1.0, so that a
// score of exactly 1.0 still has a finite logarithm of 1 − p.
struct LogLossClip {
    float lower;
    float upper;
    bool interior;  // both bounds strictly inside (0, 1)

    static LogLossClip from_eps(float eps);
    // Lower bound above the upper one, or NaN bounds: clipping is undefined.
    bool inverted() const { return !(lower <= upper); }
    // (1 − y) × ln(1 − p) + y × ln(p) with p the clipped score; NaN stays NaN.
    float term(float y, float score) const;
    // `sum` plus the terms of the rows in index order, each widened to 64 bits.
    double add_terms(std::span<const float> y, std::span<const float> scores, double sum) const;
};

// The stability epsilon of the process narrowed to 32 bits.
float clip_eps();

// The logistic-regression metrics of a data set read in consecutive blocks:
// counts by threshold (ground truth too) and the log loss of the raw ground truth
// against the clipped scores, its 32-bit terms summed in 64 bits in index order.
class LogisticBatch {
public:
    // Fails on different lengths, and with InvalidData on empty input or inverted
    // clip bounds.
    static std::expected<LogisticBatch, ModelPerformanceError> begin(std::size_t true_count,
                                                                     std::size_t pred_count, float threshold);
    // A batch that grows by any number of add calls (an accumulator); fails with
    // InvalidData on inverted clip bounds.
    static std::expected<LogisticBatch, ModelPerformanceError> open(float threshold);
    // A batch restored from its parts (counts, log-loss sum, rows), as read back
    // from a stored accumulator.
    static std::expected<LogisticBatch, ModelPerformanceError> restore(float threshold, const ConfusionMatrix& counts,
                                                                       double log_loss_sum, std::uint64_t rows);
    void add(std::span<const float> y_true, std::span<const float> y_pred);
    // Adds another batch's counts, sum and rows (the caller checks the thresholds
    // agree). The sum is a 64-bit addition of two partial sums.
    void merge(const LogisticBatch& other);
    // Fails with InvalidData when no rows were added or the log loss is NaN.
    std::expected<LogisticRegressionRuntime, ModelPerformanceError> finish() const;

    float threshold() const { return threshold_; }
    const ConfusionMatrix& counts() const { return counts_; }
    double log_loss_sum() const { return log_loss_sum_; }
    std::uint64_t rows() const { return rows_; }

private:
    LogisticBatch(float threshold, LogLossClip clip) : threshold_(threshold), clip_(clip) {}

    float threshold_;
    LogLossClip clip_;
    ConfusionMatrix counts_;
    double log_loss_sum_ = 0.0;
    std::uint64_t rows_ = 0;
};

// The eight logistic-regression metrics: counts by threshold (ground truth too),
// log loss of the raw ground truth against the clipped scores, summed in 64 bits.
// Fails on different lengths, and with InvalidData on empty input, inverted clip
// bounds or a NaN log loss.
std::expected<LogisticRegressionRuntime, ModelPerformanceError> logistic_regression_runtime(
    std::span<const float> y_true, std::span<const float> y_pred, float threshold);

// Running sums of a regression stream, all 64-bit.
struct LinearRegressionErrorBuckets {
    double squared_error_sum = 0.0;
    double abs_error_sum = 0.0;
    double max_abs_error = 0.0;
    double squared_log_error_sum = 0.0;
    double abs_pct_error_sum = 0.0;
    double y_true_sum = 0.0;
    double pair_count = 0.0;
    double y_true_sq_sum = 0.0;
    double y_pred_sq_sum = 0.0;
    double y_true_pred_sum = 0.0;

    void push(float t, float p);
    // push of every pair in index order.
    void push_all(std::span<const float> y_true, std::span<const float> y_pred);
    // Adds the sums of another stream (the maximum is the larger one): each sum is
    // one 64-bit addition of two partial sums.
    void merge(const LinearRegressionErrorBuckets& other);
    // Different lengths fail first, then empty input.
    static std::expected<void, ModelPerformanceError> check_sizes(std::size_t true_count, std::size_t pred_count);
    // Every pair in index order, from zero. Different lengths fail first, then
    // empty input.
    static std::expected<LinearRegressionErrorBuckets, ModelPerformanceError> from_dataset(
        std::span<const float> y_true, std::span<const float> y_pred);

    // Batch derivation: all 64-bit, roots on the 64-bit means, narrowed at the end.
    LinearRegressionRuntime batch_metrics() const;
    // Streaming derivation: the two mean-square errors are narrowed first and
    // their roots taken in 32 bits.
    LinearRegressionRuntime streaming_metrics() const;
};

std::expected<LinearRegressionRuntime, ModelPerformanceError> linear_regression_runtime(
    std::span<const float> y_true, std::span<const float> y_pred);

}  // namespace tarvenn
