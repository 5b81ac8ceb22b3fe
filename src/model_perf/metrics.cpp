#include "model_perf/metrics.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace tarvenn {

namespace {

using Kind = ModelPerformanceError::Kind;

std::unexpected<ModelPerformanceError> fail(Kind k) {
    return std::unexpected(ModelPerformanceError::of(k));
}

// The C library's pow(x, 0.5) / powf(x, 0.5f): −∞ gives +∞, −0 gives +0, and the
// result can differ from sqrt in the last bit, so it is not replaced by sqrt.
double pow_half(double x) { return std::pow(x, 0.5); }
float pow_half(float x) { return std::pow(x, 0.5f); }

}  // namespace

BinaryClassificationRuntime classification_from_counts(const ConfusionMatrix& counts) {
    using M = ClassificationEvaluationMetric;
    const float tp = counts.tp();
    const float fp = counts.fp();
    const float tn = counts.tn();
    const float fn = counts.fn();
    const float recall_pos = tp / (tp + fn);
    const float precision_pos = tp / (tp + fp);
    const float recall_neg = tn / (fp + tn);
    const float precision_neg = tn / (tn + fn);
    BinaryClassificationRuntime r;
    r[M::RecallPositive] = recall_pos;
    r[M::PrecisionPositive] = precision_pos;
    r[M::RecallNegative] = recall_neg;
    r[M::PrecisionNegative] = precision_neg;
    r[M::Accuracy] = (tp + tn) / (tp + fp + fn + tn);
    r[M::F1Score] = precision_pos * (2.0f * recall_pos) / (precision_pos + recall_pos);
    r[M::BalancedAccuracy] = (recall_neg + recall_pos) * 0.5f;
    return r;
}

ConfusionMatrix count_hard_labels(std::span<const float> y_true, std::span<const float> y_pred) {
    return ConfusionMatrix::count_pairs(y_true.size(), [&](std::size_t i) { return y_true[i] == 1.0f; },
                                        [&](std::size_t i) { return y_pred[i] == 1.0f; });
}

ConfusionMatrix count_thresholded(std::span<const float> y_true, std::span<const float> y_pred,
                                  float threshold) {
    return ConfusionMatrix::count_pairs(y_true.size(),
                                        [&](std::size_t i) { return y_true[i] >= threshold; },
                                        [&](std::size_t i) { return y_pred[i] >= threshold; });
}

LogLossClip LogLossClip::from_eps(float eps) {
    float upper = 1.0f - eps;
    if (upper == 1.0f) upper = std::nextafter(1.0f, 0.0f);
    return LogLossClip{eps, upper, eps > 0.0f && upper < 1.0f};
}

float LogLossClip::term(float y, float score) const {
    float p = score;
    if (p < lower) p = lower;
    else if (p > upper) p = upper;
    // Inside (0, 1) both logarithms are finite, so for a ground truth of exactly
    // 0 or 1 the other product is a signed zero and the term is one logarithm.
    if (interior) {
        if (y == 1.0f) return std::log(p);
        if (y == 0.0f) return std::log(1.0f - p);
    }
    const float negative_part = (1.0f - y) * std::log(1.0f - p);
    const float positive_part = y * std::log(p);
    return negative_part + positive_part;
}

namespace {

// `pick ? a : b` by bits, which the compiler vectorises where a float select would
// become a branch.
[[gnu::always_inline]] inline float select(bool pick, float a, float b) {
    std::uint32_t a_bits, b_bits;
    std::memcpy(&a_bits, &a, sizeof a);
    std::memcpy(&b_bits, &b, sizeof b);
    const std::uint32_t mask = 0u - static_cast<std::uint32_t>(pick);
    const std::uint32_t bits = (a_bits & mask) | (b_bits & ~mask);
    float out;
    std::memcpy(&out, &bits, sizeof out);
    return out;
}

}  // namespace

double LogLossClip::add_terms(std::span<const float> y, std::span<const float> scores, double sum) const {
    // In chunks: a vectorised pass takes, for each row, the clipped score or its
    // complement, the one argument whose logarithm is the term when the ground truth
    // is 0 or 1 and the bounds are interior; a chunk of only such rows is then one
    // logarithm per row, with no branch on the ground truth. Any other chunk takes
    // the general term. The terms and their order are the same either way.
    constexpr std::size_t kChunk = 512;
    float argument[kChunk];
    const float lo = lower, hi = upper;
    for (std::size_t begin = 0; begin < y.size(); begin += kChunk) {
        const std::size_t n = std::min(kChunk, y.size() - begin);
        const float* yc = y.data() + begin;
        const float* sc = scores.data() + begin;
        unsigned one_log = interior ? 1u : 0u;
        for (std::size_t i = 0; i < n; ++i) {
            float p = sc[i];
            p = p < lo ? lo : p;
            p = p > hi ? hi : p;
            const bool positive = yc[i] == 1.0f;
            argument[i] = select(positive, p, 1.0f - p);
            one_log &= static_cast<unsigned>(positive) | static_cast<unsigned>(yc[i] == 0.0f);
        }
        if (one_log) {
            for (std::size_t i = 0; i < n; ++i) sum += static_cast<double>(std::log(argument[i]));
        } else {
            for (std::size_t i = 0; i < n; ++i) sum += static_cast<double>(term(yc[i], sc[i]));
        }
    }
    return sum;
}

float clip_eps() { return static_cast<float>(stability_eps()); }

std::expected<LogisticBatch, ModelPerformanceError> LogisticBatch::begin(std::size_t true_count,
                                                                         std::size_t pred_count, float threshold) {
    if (true_count != pred_count) return fail(Kind::DataVectorLengthMismatch);
    auto batch = open(threshold);
    if (batch && true_count == 0) return fail(Kind::InvalidData);
    return batch;
}

std::expected<LogisticBatch, ModelPerformanceError> LogisticBatch::open(float threshold) {
    const LogLossClip clip = LogLossClip::from_eps(clip_eps());
    if (clip.inverted()) return fail(Kind::InvalidData);
    return LogisticBatch(threshold, clip);
}

std::expected<LogisticBatch, ModelPerformanceError> LogisticBatch::restore(float threshold,
                                                                           const ConfusionMatrix& counts,
                                                                           double log_loss_sum, std::uint64_t rows) {
    auto batch = open(threshold);
    if (!batch) return batch;
    batch->counts_ = counts;
    batch->log_loss_sum_ = log_loss_sum;
    batch->rows_ = rows;
    return batch;
}

void LogisticBatch::add(std::span<const float> y_true, std::span<const float> y_pred) {
    counts_.add(count_thresholded(y_true, y_pred, threshold_));
    log_loss_sum_ = clip_.add_terms(y_true, y_pred, log_loss_sum_);
    rows_ += y_true.size();
}

void LogisticBatch::merge(const LogisticBatch& other) {
    counts_.add(other.counts_);
    log_loss_sum_ += other.log_loss_sum_;
    rows_ += other.rows_;
}

std::expected<LogisticRegressionRuntime, ModelPerformanceError> LogisticBatch::finish() const {
    if (rows_ == 0) return fail(Kind::InvalidData);
    const float log_loss = static_cast<float>(-log_loss_sum_ / static_cast<double>(rows_));
    if (std::isnan(log_loss)) return fail(Kind::InvalidData);
    LogisticRegressionRuntime record;
    const BinaryClassificationRuntime count_metrics = classification_from_counts(counts_);
    for (std::size_t i = 0; i < BinaryClassificationRuntime::size; ++i) record.values[i] = count_metrics.values[i];
    record[ClassificationEvaluationMetric::LogLoss] = log_loss;
    return record;
}

std::expected<LogisticRegressionRuntime, ModelPerformanceError> logistic_regression_runtime(
    std::span<const float> y_true, std::span<const float> y_pred, float threshold) {
    auto batch = LogisticBatch::begin(y_true.size(), y_pred.size(), threshold);
    if (!batch) return std::unexpected(batch.error());
    batch->add(y_true, y_pred);
    return batch->finish();
}

void LinearRegressionErrorBuckets::push(float t, float p) {
    const double td = t;
    const double pd = p;
    const double e = td - pd;
    const double a = std::fabs(e);
    squared_error_sum += e * e;
    abs_error_sum += a;
    max_abs_error = std::fmax(max_abs_error, a);
    const double log_error = std::log(td + 1.0) - std::log(pd + 1.0);
    squared_log_error_sum += log_error * log_error;
    abs_pct_error_sum += std::fabs(a / td);
    y_true_sum += td;
    pair_count += 1.0;
    y_true_sq_sum += td * td;
    y_pred_sq_sum += pd * pd;
    y_true_pred_sum += td * pd;
}

// Here, beside push, so that push is inlined into the loop.
void LinearRegressionErrorBuckets::push_all(std::span<const float> y_true, std::span<const float> y_pred) {
    for (std::size_t i = 0; i < y_true.size(); ++i) push(y_true[i], y_pred[i]);
}

void LinearRegressionErrorBuckets::merge(const LinearRegressionErrorBuckets& o) {
    squared_error_sum += o.squared_error_sum;
    abs_error_sum += o.abs_error_sum;
    max_abs_error = std::fmax(max_abs_error, o.max_abs_error);
    squared_log_error_sum += o.squared_log_error_sum;
    abs_pct_error_sum += o.abs_pct_error_sum;
    y_true_sum += o.y_true_sum;
    pair_count += o.pair_count;
    y_true_sq_sum += o.y_true_sq_sum;
    y_pred_sq_sum += o.y_pred_sq_sum;
    y_true_pred_sum += o.y_true_pred_sum;
}

std::expected<void, ModelPerformanceError> LinearRegressionErrorBuckets::check_sizes(std::size_t true_count,
                                                                                   std::size_t pred_count) {
    if (true_count != pred_count) return fail(Kind::DataVectorLengthMismatch);
    if (true_count == 0) return fail(Kind::EmptyDataVector);
    return {};
}

std::expected<LinearRegressionErrorBuckets, ModelPerformanceError> LinearRegressionErrorBuckets::from_dataset(
    std::span<const float> y_true, std::span<const float> y_pred) {
    if (auto sizes = check_sizes(y_true.size(), y_pred.size()); !sizes) return std::unexpected(sizes.error());
    LinearRegressionErrorBuckets buckets;
    buckets.push_all(y_true, y_pred);
    return buckets;
}

namespace {

// SS_tot from the sums; RSquared is 1 − SS_res / SS_tot, or 1/0 when SS_tot is 0.
double r_squared(const LinearRegressionErrorBuckets& b) {
    const double ss_tot = b.y_true_sq_sum - (b.y_true_sum * b.y_true_sum) / b.pair_count;
    const double ss_res = b.y_pred_sq_sum + (b.y_true_sq_sum - 2.0 * b.y_true_pred_sum);
    if (ss_tot != 0.0) return 1.0 - ss_res / ss_tot;
    return ss_res == 0.0 ? 1.0 : 0.0;
}

}  // namespace

LinearRegressionRuntime LinearRegressionErrorBuckets::batch_metrics() const {
    using M = LinearRegressionEvaluationMetric;
    const double n = pair_count;
    const double mse = squared_error_sum / n;
    const double msle = squared_log_error_sum / n;
    LinearRegressionRuntime r;
    r[M::MeanSquaredError] = static_cast<float>(mse);
    r[M::MeanAbsoluteError] = static_cast<float>(abs_error_sum / n);
    r[M::MeanSquaredLogError] = static_cast<float>(msle);
    r[M::MeanAbsolutePercentageError] = static_cast<float>(abs_pct_error_sum / n);
    r[M::MaxError] = static_cast<float>(max_abs_error);
    r[M::RootMeanSquaredError] = static_cast<float>(pow_half(mse));
    r[M::RootMeanSquaredLogError] = static_cast<float>(pow_half(msle));
    r[M::RSquared] = static_cast<float>(r_squared(*this));
    return r;
}

LinearRegressionRuntime LinearRegressionErrorBuckets::streaming_metrics() const {
    using M = LinearRegressionEvaluationMetric;
    const double n = pair_count;
    const float mse = static_cast<float>(squared_error_sum / n);
    const float msle = static_cast<float>(squared_log_error_sum / n);
    LinearRegressionRuntime r;
    r[M::MeanSquaredError] = mse;
    r[M::MeanAbsoluteError] = static_cast<float>(abs_error_sum / n);
    r[M::MeanSquaredLogError] = msle;
    r[M::MeanAbsolutePercentageError] = static_cast<float>(abs_pct_error_sum / n);
    r[M::MaxError] = static_cast<float>(max_abs_error);
    r[M::RootMeanSquaredError] = pow_half(mse);
    r[M::RootMeanSquaredLogError] = std::sqrt(msle);
    r[M::RSquared] = static_cast<float>(r_squared(*this));
    return r;
}

std::expected<LinearRegressionRuntime, ModelPerformanceError> linear_regression_runtime(
    std::span<const float> y_true, std::span<const float> y_pred) {
    const auto buckets = LinearRegressionErrorBuckets::from_dataset(y_true, y_pred);
    if (!buckets) return std::unexpected(buckets.error());
    return buckets->batch_metrics();
}

}  // namespace tarvenn
