// Saved state and merging of the three streaming performance monitors.
//
// Payloads (all little-endian, floats as their bits):
//   linear regression:   baseline record (8 f32), the ten f64 running sums in
//                        declaration order of LinearRegressionErrorBuckets
//   logistic regression: baseline record (8 f32), confusion counts (4 u64), log loss
//                        sum (f64), clip epsilon (f32), decision threshold (f32)
//   binary:              baseline record (7 f32), positive label (i32), confusion counts (4 u64)
#include <cmath>

#include "model_perf/streaming.hpp"

namespace tarvenn {
namespace {

using state::StateError;
using state::StateReader;
using state::StateWriter;

std::unexpected<MergeError> refuse(const char* why) { return std::unexpected(MergeError{why}); }

// The ten sums, in declaration order.
template <class Buckets, class F>
void each_sum(Buckets& b, F&& f) {
    f(b.squared_error_sum);
    f(b.abs_error_sum);
    f(b.max_abs_error);
    f(b.squared_log_error_sum);
    f(b.abs_pct_error_sum);
    f(b.y_true_sum);
    f(b.pair_count);
    f(b.y_true_sq_sum);
    f(b.y_pred_sq_sum);
    f(b.y_true_pred_sum);
}

}  // namespace

// --- linear regression ----------------------------------------------------------

std::vector<std::uint8_t> LinearRegressionStreaming::save_state() const {
    StateWriter w(state::ClassTag::LinearRegressionStreaming);
    state::write_floats(w, baseline_.values);
    each_sum(buckets_, [&](double v) { w.f64(v); });
    return std::move(w).finish();
}

std::expected<LinearRegressionStreaming, StateError> LinearRegressionStreaming::load_state(
    std::span<const std::uint8_t> bytes) {
    auto r = state::open_state(bytes, state::ClassTag::LinearRegressionStreaming);
    if (!r) return std::unexpected(r.error());
    LinearRegressionRuntime baseline;
    state::read_floats(*r, baseline.values);
    LinearRegressionStreaming m(baseline);
    each_sum(m.buckets_, [&](double& v) { v = r->f64(); });
    const double n = m.buckets_.pair_count;
    // The pair count is a whole number of pushes.
    if (!(n >= 0.0 && std::isfinite(n) && std::floor(n) == n)) r->fail_field("pair count is not a whole count");
    // fmax ignores NaN, so the maximum is a non-negative number.
    if (!(m.buckets_.max_abs_error >= 0.0)) r->fail_field("maximum absolute error is negative or NaN");
    if (n == 0.0) {
        bool empty = true;
        each_sum(m.buckets_, [&](double v) { empty = empty && v == 0.0; });
        if (!empty) r->fail_field("sums of an empty stream are not zero");
    }
    if (auto done = r->finish(); !done) return std::unexpected(done.error());
    return m;
}

std::expected<void, MergeError> LinearRegressionStreaming::merge(const LinearRegressionStreaming& other) {
    if (!state::same_bits(baseline_.values, other.baseline_.values)) return refuse("cannot merge: the baselines differ");
    const LinearRegressionErrorBuckets& o = other.buckets_;
    LinearRegressionErrorBuckets& b = buckets_;
    b.squared_error_sum += o.squared_error_sum;
    b.abs_error_sum += o.abs_error_sum;
    b.max_abs_error = std::fmax(b.max_abs_error, o.max_abs_error);
    b.squared_log_error_sum += o.squared_log_error_sum;
    b.abs_pct_error_sum += o.abs_pct_error_sum;
    b.y_true_sum += o.y_true_sum;
    b.pair_count += o.pair_count;
    b.y_true_sq_sum += o.y_true_sq_sum;
    b.y_pred_sq_sum += o.y_pred_sq_sum;
    b.y_true_pred_sum += o.y_true_pred_sum;
    return {};
}

// --- logistic regression --------------------------------------------------------

std::vector<std::uint8_t> LogisticRegressionStreaming::save_state() const {
    StateWriter w(state::ClassTag::LogisticRegressionStreaming);
    state::write_floats(w, baseline_.values);
    state::write_confusion(w, confusion_);
    w.f64(log_loss_sum_);
    w.f32(clip_eps_);
    w.f32(decision_threshold_);
    return std::move(w).finish();
}

std::expected<LogisticRegressionStreaming, StateError> LogisticRegressionStreaming::load_state(
    std::span<const std::uint8_t> bytes) {
    auto r = state::open_state(bytes, state::ClassTag::LogisticRegressionStreaming);
    if (!r) return std::unexpected(r.error());
    LogisticRegressionRuntime baseline;
    state::read_floats(*r, baseline.values);
    const ConfusionMatrix confusion = state::read_confusion(*r);
    const double log_loss_sum = r->f64();
    const float eps = r->f32();
    const float threshold = r->f32();
    if (confusion.total() == 0 && !state::same_bits(log_loss_sum, 0.0))
        r->fail_field("log loss sum of an empty stream is not zero");
    if (auto done = r->finish(); !done) return std::unexpected(done.error());
    LogisticRegressionStreaming m(baseline, threshold);
    m.confusion_ = confusion;
    m.log_loss_sum_ = log_loss_sum;
    m.set_clip_eps(eps);
    return m;
}

std::expected<void, MergeError> LogisticRegressionStreaming::merge(const LogisticRegressionStreaming& other) {
    if (!state::same_bits(baseline_.values, other.baseline_.values)) return refuse("cannot merge: the baselines differ");
    if (!state::same_bits(decision_threshold_, other.decision_threshold_))
        return refuse("cannot merge: the decision thresholds differ");
    if (!state::same_bits(clip_eps_, other.clip_eps_)) return refuse("cannot merge: the clip epsilons differ");
    ConfusionMatrix sum = confusion_;
    if (!state::add_confusion(sum, other.confusion_)) return refuse("cannot merge: the counts would overflow");
    confusion_ = sum;
    log_loss_sum_ += other.log_loss_sum_;
    return {};
}

// --- binary classification ------------------------------------------------------

template <class Label>
std::vector<std::uint8_t> BinaryClassificationStreaming<Label>::save_state() const {
    StateWriter w(state::ClassTag::BinaryClassificationStreaming);
    state::write_floats(w, baseline_.values);
    w.u32(static_cast<std::uint32_t>(positive_label_));
    state::write_confusion(w, confusion_);
    return std::move(w).finish();
}

template <class Label>
std::expected<BinaryClassificationStreaming<Label>, StateError> BinaryClassificationStreaming<Label>::load_state(
    std::span<const std::uint8_t> bytes) {
    auto r = state::open_state(bytes, state::ClassTag::BinaryClassificationStreaming);
    if (!r) return std::unexpected(r.error());
    BinaryClassificationRuntime baseline;
    state::read_floats(*r, baseline.values);
    const auto label = static_cast<Label>(static_cast<std::int32_t>(r->u32()));
    const ConfusionMatrix confusion = state::read_confusion(*r);
    if (auto done = r->finish(); !done) return std::unexpected(done.error());
    BinaryClassificationStreaming m(baseline);
    m.positive_label_ = label;
    m.confusion_ = confusion;
    return m;
}

template <class Label>
std::expected<void, MergeError> BinaryClassificationStreaming<Label>::merge(const BinaryClassificationStreaming& other) {
    if (!state::same_bits(baseline_.values, other.baseline_.values)) return refuse("cannot merge: the baselines differ");
    if (positive_label_ != other.positive_label_) return refuse("cannot merge: the positive labels differ");
    ConfusionMatrix sum = confusion_;
    if (!state::add_confusion(sum, other.confusion_)) return refuse("cannot merge: the counts would overflow");
    confusion_ = sum;
    return {};
}

template std::vector<std::uint8_t> BinaryClassificationStreaming<std::int32_t>::save_state() const;
template std::expected<BinaryClassificationStreaming<std::int32_t>, StateError>
BinaryClassificationStreaming<std::int32_t>::load_state(std::span<const std::uint8_t>);
template std::expected<void, MergeError> BinaryClassificationStreaming<std::int32_t>::merge(
    const BinaryClassificationStreaming&);

}  // namespace tarvenn
