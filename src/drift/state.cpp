// Saved state and merging of the drift detectors: the baselines, the stream windows
// and the six detector classes built from them. Layouts are in docs/state-format.md.
#include <cmath>
#include <cstring>
#include <limits>

#include "drift/data_drift.hpp"

namespace tarvenn::drift {
namespace {

using state::ClassTag;
using state::StateError;
using state::StateReader;
using state::StateWriter;

std::unexpected<MergeError> refuse(const char* why) { return std::unexpected(MergeError{why}); }

void write_doubles(StateWriter& w, const std::vector<double>& v) { w.f64_array(v); }

std::vector<double> read_doubles(StateReader& r) { return r.f64_array(); }

bool same_doubles(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!state::same_bits(a[i], b[i])) return false;
    return true;
}

// Baseline fractions: each a count divided by the sample count.
bool fractions_valid(const std::vector<double>& hist) {
    for (double f : hist)
        if (!(f >= 0.0 && f <= 1.0)) return false;
    return true;
}

// Edges as init_edges makes them: non-decreasing, and NaN only after a first edge of
// -inf (where -inf + inf is NaN), from the second edge on.
bool edges_valid(const std::vector<double>& edges) {
    if (edges.empty() || std::isnan(edges[0])) return false;
    const bool nan_tail = edges.size() > 1 && std::isnan(edges[1]);
    if (nan_tail && edges[0] != -std::numeric_limits<double>::infinity()) return false;
    for (std::size_t k = 1; k < edges.size(); ++k) {
        if (nan_tail) {
            if (!std::isnan(edges[k])) return false;
        } else if (!(edges[k] >= edges[k - 1])) {
            return false;
        }
    }
    return true;
}

// A whole number in [0, 2^64): the cast is in range, so it is exact or truncates.
bool whole(double v) {
    return v >= 0.0 && v < 0x1p64 && static_cast<double>(static_cast<std::uint64_t>(v)) == v;
}

template <class Mode>
constexpr bool kFlushMode = std::is_same_v<Mode, FlushMode>;

}  // namespace

// ---- baselines -------------------------------------------------------------------

void BaselineContinuousBins::save_state(StateWriter& w) const {
    w.u8(static_cast<std::uint8_t>(quantile_type_));
    w.u32(n_bins_);
    write_doubles(w, bin_edges_);
    write_doubles(w, baseline_hist_);
}

std::optional<BaselineContinuousBins> BaselineContinuousBins::load_state(StateReader& r) {
    const std::uint8_t rule = r.u8();
    const std::uint32_t n_bins = r.u32();
    if (rule > static_cast<std::uint8_t>(QuantileType::Sturges)) r.fail_field("unknown bin rule");
    if (n_bins < 3 || n_bins > kMaxBins) r.fail_field("bin count " + std::to_string(n_bins) + " is out of range");
    std::vector<double> edges = r.ok() ? read_doubles(r) : std::vector<double>{};
    if (r.ok() && edges.size() != 1 && edges.size() != n_bins - 2)
        r.fail_field("edge count does not match the bin count");
    if (r.ok() && !edges_valid(edges)) r.fail_field("bin edges decrease or are NaN");
    std::vector<double> hist = r.ok() ? read_doubles(r) : std::vector<double>{};
    if (r.ok() && hist.size() != n_bins) r.fail_field("baseline fraction count does not match the bin count");
    if (r.ok() && !fractions_valid(hist)) r.fail_field("baseline fraction outside [0, 1]");
    if (!r.ok()) return std::nullopt;
    BaselineContinuousBins bins;
    bins.quantile_type_ = static_cast<QuantileType>(rule);
    bins.n_bins_ = n_bins;
    bins.bin_edges_ = std::move(edges);
    bins.baseline_hist_ = std::move(hist);
    bins.prepare_lookup();
    return bins;
}

bool BaselineContinuousBins::same_as(const BaselineContinuousBins& o) const {
    return quantile_type_ == o.quantile_type_ && n_bins_ == o.n_bins_ && same_doubles(bin_edges_, o.bin_edges_) &&
           same_doubles(baseline_hist_, o.baseline_hist_);
}

void BaselineCategoricalBins::save_state(StateWriter& w) const {
    // The label table in one pass over one block: each label as a text (u64 length, bytes).
    const std::size_t n = label_index_.size();
    const std::size_t table = 8 * n + label_index_.text().size();
    w.reserve(8 + table + 8 * (baseline_hist_.size() + 1) + 8 * (baseline_hist_.size() + 4));
    w.u64(n);
    std::uint8_t* p = w.extend(table);
    for (std::size_t i = 0; i < n; ++i) {
        const std::string_view label = label_index_.label(i);
        const std::uint64_t size = label.size();
        for (int b = 0; b < 8; ++b) p[b] = static_cast<std::uint8_t>(size >> (8 * b));
        std::memcpy(p + 8, label.data(), label.size());
        p += 8 + label.size();
    }
    write_doubles(w, baseline_hist_);
}

std::optional<BaselineCategoricalBins> BaselineCategoricalBins::load_state(StateReader& r) {
    // Each label takes at least its 8-byte length; bin indices are 32-bit.
    const std::size_t n = r.count_at_most(8, std::numeric_limits<std::uint32_t>::max() - 1);
    if (r.ok() && n == 0) r.fail_field("a categorical baseline has no labels");
    // After the labels' bytes come their n lengths and the n + 1 fractions with their
    // count, so the unread bytes bound the reservation (a valid state fills it exactly).
    LabelPacker labels;
    if (r.ok()) {
        const std::size_t framing = 8 * n + 8 * (n + 2);
        labels.reserve(n, r.remaining() > framing ? r.remaining() - framing : 0);
    }
    std::string_view previous;
    for (std::size_t i = 0; i < n && r.ok(); ++i) {
        const std::string_view label = r.text_view();
        if (i > 0 && !(previous < label)) r.fail_field("labels are not ascending and distinct");
        labels.add(label);
        previous = label;
    }
    std::vector<double> hist = r.ok() ? read_doubles(r) : std::vector<double>{};
    if (r.ok() && hist.size() != n + 1) r.fail_field("baseline fraction count does not match the label count");
    if (r.ok() && !fractions_valid(hist)) r.fail_field("baseline fraction outside [0, 1]");
    if (r.ok() && hist.back() != 0.0) r.fail_field("the unseen-label fraction is not 0");
    if (!r.ok()) return std::nullopt;
    BaselineCategoricalBins bins;
    std::move(labels).into(bins.label_index_);
    bins.baseline_hist_ = std::move(hist);
    return bins;
}

bool BaselineCategoricalBins::same_as(const BaselineCategoricalBins& o) const {
    return label_index_.same_labels(o.label_index_) && same_doubles(baseline_hist_, o.baseline_hist_);
}

// ---- stream windows --------------------------------------------------------------

template <class Mode>
void StreamWindow<Mode>::save_state(StateWriter& w) const {
    if constexpr (kFlush) {
        w.f64(mode_.flush_rate);
        w.u64(mode_.flush_cadence_seconds);
        const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - last_flush_).count();
        w.u64(elapsed > 0 ? static_cast<std::uint64_t>(elapsed) : 0);
    } else {
        w.f64(mode_.decay_factor);
    }
    w.reserve(8 * (bins_.size() + 2));
    write_doubles(w, bins_);
    w.f64(total_);
}

template <class Mode>
std::optional<StreamWindow<Mode>> StreamWindow<Mode>::load_state(StateReader& r, std::size_t n_bins) {
    Mode mode{};
    std::uint64_t elapsed_ns = 0;
    if constexpr (kFlush) {
        mode.flush_rate = r.f64();
        mode.flush_cadence_seconds = r.u64();
        elapsed_ns = r.u64();
        // A rate comes from a 64-bit count.
        if (!(whole(mode.flush_rate) || mode.flush_rate == 0x1p64)) r.fail_field("flush rate is not a whole count");
        if (elapsed_ns > (std::uint64_t{1} << 62)) r.fail_field("time since the last flush is out of range");
    } else {
        mode.decay_factor = r.f64();
        // exp2(-1 / h) for a half-life h >= 1.
        if (!(mode.decay_factor >= 0.5 && mode.decay_factor <= 1.0)) r.fail_field("decay factor outside [0.5, 1]");
    }
    std::vector<double> bins = r.ok() ? read_doubles(r) : std::vector<double>{};
    const double total = r.f64();
    if (r.ok() && bins.size() != n_bins) r.fail_field("window bin count does not match the baseline");
    if (r.ok()) {
        bool valid = kFlush ? whole(total) : (total >= 0.0 && std::isfinite(total));
        for (double b : bins) valid = valid && (kFlush ? whole(b) : (b >= 0.0 && std::isfinite(b)));
        if (!valid) r.fail_field(kFlush ? "window counts are not whole counts" : "window weights are negative or not finite");
    }
    if (!r.ok()) return std::nullopt;
    StreamWindow window(0, mode);
    window.bins_ = std::move(bins);
    window.total_ = total;
    if constexpr (kFlush) window.last_flush_ = Clock::now() - std::chrono::nanoseconds(static_cast<std::int64_t>(elapsed_ns));
    return window;
}

template <class Mode>
std::expected<void, MergeError> StreamWindow<Mode>::merge(const StreamWindow& other) {
    if constexpr (kFlush) {
        if (!state::same_bits(mode_.flush_rate, other.mode_.flush_rate) ||
            mode_.flush_cadence_seconds != other.mode_.flush_cadence_seconds)
            return refuse("cannot merge: the flush settings differ");
    } else {
        if (!state::same_bits(mode_.decay_factor, other.mode_.decay_factor))
            return refuse("cannot merge: the decay half-lives differ");
    }
    if (bins_.size() != other.bins_.size()) return refuse("cannot merge: the bin counts differ");
    for (std::size_t b = 0; b < bins_.size(); ++b) bins_[b] += other.bins_[b];
    total_ += other.total_;
    if constexpr (kFlush) last_flush_ = std::min(last_flush_, other.last_flush_);
    return {};
}

template void StreamWindow<DecayMode>::save_state(StateWriter&) const;
template void StreamWindow<FlushMode>::save_state(StateWriter&) const;
template std::optional<StreamWindow<DecayMode>> StreamWindow<DecayMode>::load_state(StateReader&, std::size_t);
template std::optional<StreamWindow<FlushMode>> StreamWindow<FlushMode>::load_state(StateReader&, std::size_t);
template std::expected<void, MergeError> StreamWindow<DecayMode>::merge(const StreamWindow&);
template std::expected<void, MergeError> StreamWindow<FlushMode>::merge(const StreamWindow&);

// ---- batch detectors ---------------------------------------------------------------

std::vector<std::uint8_t> ContinuousDataDrift::save_state() const {
    StateWriter w(ClassTag::ContinuousDataDrift);
    baseline_.save_state(w);
    return std::move(w).finish();
}

std::expected<ContinuousDataDrift, StateError> ContinuousDataDrift::load_state(std::span<const std::uint8_t> bytes) {
    auto r = state::open_state(bytes, ClassTag::ContinuousDataDrift);
    if (!r) return std::unexpected(r.error());
    auto baseline = BaselineContinuousBins::load_state(*r);
    if (auto done = r->finish(); !done) return std::unexpected(done.error());
    return ContinuousDataDrift(std::move(*baseline));
}

std::vector<std::uint8_t> CategoricalDataDrift::save_state() const {
    StateWriter w(ClassTag::CategoricalDataDrift);
    baseline_.save_state(w);
    return std::move(w).finish();
}

std::expected<CategoricalDataDrift, StateError> CategoricalDataDrift::load_state(std::span<const std::uint8_t> bytes) {
    auto r = state::open_state(bytes, ClassTag::CategoricalDataDrift);
    if (!r) return std::unexpected(r.error());
    auto baseline = BaselineCategoricalBins::load_state(*r);
    if (auto done = r->finish(); !done) return std::unexpected(done.error());
    return CategoricalDataDrift(std::move(*baseline));
}

// ---- streaming detectors -------------------------------------------------------------

template <class Baseline, class Mode, BinLayout Layout>
std::expected<void, MergeError> StreamingDrift<Baseline, Mode, Layout>::merge(const StreamingDrift& other) {
    if (!baseline_.same_as(other.baseline_)) return refuse("cannot merge: the baselines differ");
    return window_.merge(other.window_);
}

template std::expected<void, MergeError> StreamingDrift<BaselineContinuousBins, DecayMode, BinLayout::Continuous>::merge(
    const StreamingDrift&);
template std::expected<void, MergeError> StreamingDrift<BaselineContinuousBins, FlushMode, BinLayout::Continuous>::merge(
    const StreamingDrift&);
template std::expected<void, MergeError>
StreamingDrift<BaselineCategoricalBins, DecayMode, BinLayout::Categorical>::merge(const StreamingDrift&);
template std::expected<void, MergeError>
StreamingDrift<BaselineCategoricalBins, FlushMode, BinLayout::Categorical>::merge(const StreamingDrift&);

template <class Mode>
std::vector<std::uint8_t> StreamingContinuousDataDrift<Mode>::save_state() const {
    StateWriter w(kFlushMode<Mode> ? ClassTag::StreamingContinuousDataDriftFlush
                                   : ClassTag::StreamingContinuousDataDriftDecay);
    this->baseline_.save_state(w);
    this->window_.save_state(w);
    return std::move(w).finish();
}

template <class Mode>
std::expected<StreamingContinuousDataDrift<Mode>, StateError> StreamingContinuousDataDrift<Mode>::load_state(
    std::span<const std::uint8_t> bytes) {
    auto r = state::open_state(bytes, kFlushMode<Mode> ? ClassTag::StreamingContinuousDataDriftFlush
                                                       : ClassTag::StreamingContinuousDataDriftDecay);
    if (!r) return std::unexpected(r.error());
    auto baseline = BaselineContinuousBins::load_state(*r);
    auto window = r->ok() ? StreamWindow<Mode>::load_state(*r, baseline->n_bins()) : std::nullopt;
    if (auto done = r->finish(); !done) return std::unexpected(done.error());
    return StreamingContinuousDataDrift(std::move(*baseline), std::move(*window));
}

template <class Mode>
std::vector<std::uint8_t> StreamingCategoricalDataDrift<Mode>::save_state() const {
    StateWriter w(kFlushMode<Mode> ? ClassTag::StreamingCategoricalDataDriftFlush
                                   : ClassTag::StreamingCategoricalDataDriftDecay);
    this->baseline_.save_state(w);
    this->window_.save_state(w);
    return std::move(w).finish();
}

template <class Mode>
std::expected<StreamingCategoricalDataDrift<Mode>, StateError> StreamingCategoricalDataDrift<Mode>::load_state(
    std::span<const std::uint8_t> bytes) {
    auto r = state::open_state(bytes, kFlushMode<Mode> ? ClassTag::StreamingCategoricalDataDriftFlush
                                                       : ClassTag::StreamingCategoricalDataDriftDecay);
    if (!r) return std::unexpected(r.error());
    auto baseline = BaselineCategoricalBins::load_state(*r);
    auto window = r->ok() ? StreamWindow<Mode>::load_state(*r, baseline->n_bins()) : std::nullopt;
    if (auto done = r->finish(); !done) return std::unexpected(done.error());
    return StreamingCategoricalDataDrift(std::move(*baseline), std::move(*window));
}

template std::vector<std::uint8_t> StreamingContinuousDataDrift<DecayMode>::save_state() const;
template std::vector<std::uint8_t> StreamingContinuousDataDrift<FlushMode>::save_state() const;
template std::expected<StreamingContinuousDataDrift<DecayMode>, StateError>
StreamingContinuousDataDrift<DecayMode>::load_state(std::span<const std::uint8_t>);
template std::expected<StreamingContinuousDataDrift<FlushMode>, StateError>
StreamingContinuousDataDrift<FlushMode>::load_state(std::span<const std::uint8_t>);
template std::vector<std::uint8_t> StreamingCategoricalDataDrift<DecayMode>::save_state() const;
template std::vector<std::uint8_t> StreamingCategoricalDataDrift<FlushMode>::save_state() const;
template std::expected<StreamingCategoricalDataDrift<DecayMode>, StateError>
StreamingCategoricalDataDrift<DecayMode>::load_state(std::span<const std::uint8_t>);
template std::expected<StreamingCategoricalDataDrift<FlushMode>, StateError>
StreamingCategoricalDataDrift<FlushMode>::load_state(std::span<const std::uint8_t>);

}  // namespace tarvenn::drift
