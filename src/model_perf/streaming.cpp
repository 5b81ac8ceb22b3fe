#include "model_perf/streaming.hpp"

#include <utility>

namespace tarvenn {

namespace {

using Kind = ModelPerformanceError::Kind;

std::unexpected<ModelPerformanceError> fail(Kind k) {
    return std::unexpected(ModelPerformanceError::of(k));
}

// The value of `f` applied to a success, or the error unchanged.
template <class T, class F>
auto map_value(const std::expected<T, ModelPerformanceError>& r, F&& f)
    -> std::expected<decltype(f(*r)), ModelPerformanceError> {
    if (!r) return std::unexpected(r.error());
    return f(*r);
}

}  // namespace

// --- regression --------------------------------------------------------------

std::expected<LinearRegressionStreaming, ModelPerformanceError> LinearRegressionStreaming::create(
    std::span<const float> y_true, std::span<const float> y_pred) {
    return map_value(linear_regression_runtime(y_true, y_pred),
        [](const LinearRegressionRuntime& b) { return LinearRegressionStreaming(b); });
}

Status LinearRegressionStreaming::check_batch(std::size_t true_count, std::size_t pred_count) const {
    return LinearRegressionErrorBuckets::check_sizes(true_count, pred_count);
}

Status LinearRegressionStreaming::push_batch(std::span<const float> y_true, std::span<const float> y_pred) {
    if (auto checked = check_batch(y_true.size(), y_pred.size()); !checked) return checked;
    add_block(y_true, y_pred);
    return {};
}

Status LinearRegressionStreaming::reset_baseline(std::span<const float> y_true,
                                                 std::span<const float> y_pred) {
    auto baseline = linear_regression_runtime(y_true, y_pred);
    if (!baseline) return std::unexpected(baseline.error());
    baseline_ = *baseline;
    return {};
}

std::expected<LinearRegressionRuntime, ModelPerformanceError> LinearRegressionStreaming::current() const {
    if (buckets_.pair_count == 0.0) return fail(Kind::EmptyDataVector);
    return buckets_.streaming_metrics();
}

// --- logistic regression -----------------------------------------------------

LogisticRegressionStreaming::LogisticRegressionStreaming(const LogisticRegressionRuntime& baseline,
                                                         float threshold)
    : baseline_(baseline), decision_threshold_(threshold) {
    set_clip_eps(clip_eps());
}

void LogisticRegressionStreaming::set_clip_eps(float eps) {
    clip_eps_ = eps;
    clip_ = LogLossClip::from_eps(eps);
}

std::expected<LogisticRegressionStreaming, ModelPerformanceError> LogisticRegressionStreaming::create(
    std::span<const float> y_true, std::span<const float> y_pred, float threshold) {
    return map_value(logistic_regression_runtime(y_true, y_pred, threshold),
        [&](const LogisticRegressionRuntime& b) { return LogisticRegressionStreaming(b, threshold); });
}

Status LogisticRegressionStreaming::push(float y_true, float y_pred) {
    if (clip_.inverted()) return fail(Kind::InvalidData);
    log_loss_sum_ += static_cast<double>(clip_.term(y_true, y_pred));
    // The stream takes the ground truth as a hard label: only 1.0 is positive.
    confusion_.push(y_true == 1.0f, y_pred >= decision_threshold_);
    return {};
}

Status LogisticRegressionStreaming::check_batch(std::size_t true_count, std::size_t pred_count) const {
    if (true_count != pred_count) return fail(Kind::DataVectorLengthMismatch);
    if (true_count == 0) return fail(Kind::EmptyDataVector);
    if (clip_.inverted()) return fail(Kind::InvalidData);
    return {};
}

Status LogisticRegressionStreaming::push_batch(std::span<const float> y_true,
                                               std::span<const float> y_pred) {
    if (auto checked = check_batch(y_true.size(), y_pred.size()); !checked) return checked;
    add_block(y_true, y_pred);
    return {};
}

void LogisticRegressionStreaming::add_block(std::span<const float> y_true, std::span<const float> y_pred) {
    log_loss_sum_ = clip_.add_terms(y_true, y_pred, log_loss_sum_);
    const float threshold = decision_threshold_;
    confusion_.add(ConfusionMatrix::count_pairs(y_true.size(),
                                                [&](std::size_t i) { return y_true[i] == 1.0f; },
                                                [&](std::size_t i) { return y_pred[i] >= threshold; }));
}

void LogisticRegressionStreaming::flush() {
    confusion_ = {};
    log_loss_sum_ = 0.0;
    set_clip_eps(clip_eps());
}

Status LogisticRegressionStreaming::reset_baseline(std::span<const float> y_true,
                                                   std::span<const float> y_pred) {
    auto baseline = logistic_regression_runtime(y_true, y_pred, decision_threshold_);
    if (!baseline) return std::unexpected(baseline.error());
    baseline_ = *baseline;
    return {};
}

Status LogisticRegressionStreaming::reset_baseline_and_decision_threshold(std::span<const float> y_true,
                                                                          std::span<const float> y_pred,
                                                                          float threshold) {
    auto baseline = logistic_regression_runtime(y_true, y_pred, threshold);
    if (!baseline) return std::unexpected(baseline.error());
    baseline_ = *baseline;
    decision_threshold_ = threshold;
    return {};
}

std::expected<LogisticRegressionRuntime, ModelPerformanceError> LogisticRegressionStreaming::current() const {
    const std::uint64_t n = confusion_.total();
    if (n == 0) return fail(Kind::EmptyDataVector);
    LogisticRegressionRuntime record;
    const BinaryClassificationRuntime count_metrics = classification_from_counts(confusion_);
    for (std::size_t i = 0; i < BinaryClassificationRuntime::size; ++i)
        record.values[i] = count_metrics.values[i];
    record[Metric::LogLoss] = static_cast<float>(-log_loss_sum_ / static_cast<double>(n));
    return record;
}

// --- binary classification ---------------------------------------------------

template <class Label>
std::expected<BinaryClassificationStreaming<Label>, ModelPerformanceError>
BinaryClassificationStreaming<Label>::create(std::span<const Label> y_true, std::span<const Label> y_pred) {
    if (y_true.size() != y_pred.size()) return fail(Kind::DataVectorLengthMismatch);
    if (y_true.empty()) return fail(Kind::EmptyDataVector);
    ConfusionMatrix counts;
    (void)counts.push_dataset(y_true, y_pred, Label{1});
    return BinaryClassificationStreaming(classification_from_counts(counts));
}

template <class Label>
Status BinaryClassificationStreaming<Label>::reset_baseline(std::span<const Label> y_true,
                                                            std::span<const Label> y_pred) {
    // Refuses an empty baseline, whose metrics would all be NaN and never fail.
    if (y_true.size() != y_pred.size()) return fail(Kind::DataVectorLengthMismatch);
    if (y_true.empty()) return fail(Kind::EmptyDataVector);
    ConfusionMatrix counts;
    (void)counts.push_dataset(y_true, y_pred, positive_label_);
    baseline_ = classification_from_counts(counts);
    confusion_ = {};
    return {};
}

template <class Label>
std::expected<BinaryClassificationRuntime, ModelPerformanceError>
BinaryClassificationStreaming<Label>::current() const {
    if (confusion_.total() == 0) return fail(Kind::EmptyDataVector);
    return classification_from_counts(confusion_);
}

template class BinaryClassificationStreaming<std::int32_t>;

}  // namespace tarvenn
