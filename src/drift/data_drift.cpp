#include "drift/data_drift.hpp"

#include <algorithm>

namespace tarvenn::drift {

namespace {

bool bins_in_range(std::span<const std::uint32_t> bins, std::size_t n_bins) {
    return std::all_of(bins.begin(), bins.end(), [n_bins](std::uint32_t b) { return b < n_bins; });
}

std::vector<double> measures(std::span<const double> p, std::span<const double> r, double total,
                             std::span<const DataDriftType> types, BinLayout layout) {
    std::vector<double> values;
    values.reserve(types.size());
    for (DataDriftType type : types) values.push_back(global_compute_drift(p, r, total, type, layout));
    return values;
}

// The value of a one-type computation.
std::expected<double, DriftError> first_value(const std::expected<std::vector<double>, DriftError>& values) {
    if (!values) return std::unexpected(values.error());
    return values->front();
}

// Few samples against many bins: add them one at a time rather than sweep the bins.
bool count_first(std::size_t samples, std::size_t n_bins) { return samples >= n_bins / 8; }

}  // namespace

std::expected<std::vector<double>, DriftError> drift_from_counts(std::span<const double> baseline_hist,
                                                                 std::span<const std::uint64_t> counts,
                                                                 std::span<const DataDriftType> types,
                                                                 BinLayout layout) {
    std::vector<double> rt_bins(counts.size());
    std::uint64_t rows = 0;
    for (std::size_t b = 0; b < counts.size(); ++b) {
        rt_bins[b] = static_cast<double>(counts[b]);
        rows += counts[b];
    }
    if (rows == 0) return std::unexpected(DriftError::EmptyRuntimeData);
    return measures(baseline_hist, rt_bins, sum_in_bin_order(rt_bins), types, layout);
}

// ---- ContinuousDataDrift -------------------------------------------------------

std::expected<ContinuousDataDrift, BaselineError> ContinuousDataDrift::create(std::span<const double> baseline,
                                                                             std::optional<QuantileType> rule) {
    auto bins = BaselineContinuousBins::create(baseline, rule.value_or(QuantileType::FreedmanDiaconis));
    if (!bins) return std::unexpected(bins.error());
    return ContinuousDataDrift(std::move(*bins));
}

std::expected<std::vector<double>, DriftError> ContinuousDataDrift::rt_hist(std::span<const double> runtime) const {
    if (runtime.empty()) return std::unexpected(DriftError::EmptyRuntimeData);
    // Counts are exact integers, so each bin's value equals the repeated additions
    // of 1.0 from 0.
    std::vector<std::uint64_t> counts(baseline_.n_bins(), 0);
    baseline_.count_bins(runtime, counts);
    std::vector<double> bins(counts.size());
    for (std::size_t b = 0; b < counts.size(); ++b) bins[b] = static_cast<double>(counts[b]);
    return bins;
}

std::expected<double, DriftError> ContinuousDataDrift::compute_drift(std::span<const double> runtime,
                                                                     DataDriftType type) const {
    return first_value(compute_drift_many(runtime, std::span<const DataDriftType>(&type, 1)));
}

std::expected<std::vector<double>, DriftError> ContinuousDataDrift::compute_drift_many(
    std::span<const double> runtime, std::span<const DataDriftType> types) const {
    const auto bins = rt_hist(runtime);
    if (!bins) return std::unexpected(bins.error());
    return measures(baseline_.baseline_hist(), *bins, sum_in_bin_order(*bins), types, BinLayout::Continuous);
}

std::expected<void, BaselineError> ContinuousDataDrift::reset_baseline(std::span<const double> baseline) {
    auto rebuilt = BaselineContinuousBins::create(baseline, baseline_.quantile_type());
    if (!rebuilt) return std::unexpected(rebuilt.error());
    baseline_ = std::move(*rebuilt);
    return {};
}

std::expected<std::vector<double>, BaselineError> compute_drift_continuous_distribution(
    std::span<const double> baseline, std::span<const double> candidate, std::span<const DataDriftType> types,
    std::optional<QuantileType> rule) {
    auto detector = ContinuousDataDrift::create(baseline, rule);
    if (!detector) return std::unexpected(detector.error());
    auto values = detector->compute_drift_many(candidate, types);
    if (!values) return std::unexpected(values.error());
    return std::move(*values);
}

// ---- CategoricalDataDrift ------------------------------------------------------

std::expected<CategoricalDataDrift, DriftError> CategoricalDataDrift::create(std::span<const std::string> baseline) {
    auto bins = BaselineCategoricalBins::create(baseline);
    if (!bins) return std::unexpected(bins.error());
    return CategoricalDataDrift(std::move(*bins));
}

std::expected<std::vector<double>, DriftError> CategoricalDataDrift::rt_hist(
    std::span<const std::uint32_t> runtime_bins) const {
    if (runtime_bins.empty()) return std::unexpected(DriftError::EmptyRuntimeData);
    if (!bins_in_range(runtime_bins, baseline_.n_bins())) return std::unexpected(DriftError::MalformedRuntimeBins);
    std::vector<double> bins(baseline_.n_bins(), 0.0);
    for (std::uint32_t b : runtime_bins) bins[b] += 1.0;
    return bins;
}

std::expected<double, DriftError> CategoricalDataDrift::compute_drift(std::span<const std::uint32_t> runtime_bins,
                                                                      DataDriftType type) const {
    return first_value(compute_drift_many(runtime_bins, std::span<const DataDriftType>(&type, 1)));
}

std::expected<std::vector<double>, DriftError> CategoricalDataDrift::compute_drift_many(
    std::span<const std::uint32_t> runtime_bins, std::span<const DataDriftType> types) const {
    const auto bins = rt_hist(runtime_bins);
    if (!bins) return std::unexpected(bins.error());
    return measures(baseline_.baseline_hist(), *bins, sum_in_bin_order(*bins), types, BinLayout::Categorical);
}

std::expected<void, DriftError> CategoricalDataDrift::reset_baseline(std::span<const std::string> baseline) {
    auto rebuilt = BaselineCategoricalBins::create(baseline);
    if (!rebuilt) return std::unexpected(rebuilt.error());
    baseline_ = std::move(*rebuilt);
    return {};
}

// ---- StreamingDrift --------------------------------------------------------------

template <class Baseline, class Mode, BinLayout Layout>
StreamingDrift<Baseline, Mode, Layout>::StreamingDrift(Baseline baseline, Mode mode)
    : baseline_(std::move(baseline)), window_(baseline_.n_bins(), mode) {}

template <class Baseline, class Mode, BinLayout Layout>
StreamingDrift<Baseline, Mode, Layout>::StreamingDrift(Baseline baseline, StreamWindow<Mode> window)
    : baseline_(std::move(baseline)), window_(std::move(window)) {}

template <class Baseline, class Mode, BinLayout Layout>
std::expected<double, DriftError> StreamingDrift<Baseline, Mode, Layout>::compute_drift(DataDriftType type) {
    return first_value(compute_drift_many(std::span<const DataDriftType>(&type, 1)));
}

template <class Baseline, class Mode, BinLayout Layout>
std::expected<std::vector<double>, DriftError> StreamingDrift<Baseline, Mode, Layout>::compute_drift_many(
    std::span<const DataDriftType> types) {
    if (auto ready = window_.prepare_drift(); !ready) return std::unexpected(ready.error());
    return measures(baseline_.baseline_hist(), window_.bins(), window_.total(), types, Layout);
}

template <class Baseline, class Mode, BinLayout Layout>
template <class Count, class BinAt>
void StreamingDrift<Baseline, Mode, Layout>::add_batch(std::size_t n, Count&& count, BinAt&& bin_at) {
    if constexpr (std::is_same_v<Mode, DecayMode>) {
        if (count_first(n, baseline_.n_bins())) {
            // Sized on first use, so that flush-mode detectors and loaded ones that
            // never see a large batch do not carry it.
            if (counts_.size() != baseline_.n_bins()) counts_.assign(baseline_.n_bins(), 0);
            count(counts_);
            window_.add_counts(counts_, n);
            std::fill(counts_.begin(), counts_.end(), 0);
            return;
        }
    }
    window_.add_sequence(n, bin_at);
}

template <class Baseline, class Mode, BinLayout Layout>
void StreamingDrift<Baseline, Mode, Layout>::replace_baseline(Baseline rebuilt) {
    window_.reset(rebuilt.n_bins());
    baseline_ = std::move(rebuilt);
    counts_ = {};
}

template class StreamingDrift<BaselineContinuousBins, DecayMode, BinLayout::Continuous>;
template class StreamingDrift<BaselineContinuousBins, FlushMode, BinLayout::Continuous>;
template class StreamingDrift<BaselineCategoricalBins, DecayMode, BinLayout::Categorical>;
template class StreamingDrift<BaselineCategoricalBins, FlushMode, BinLayout::Categorical>;

// ---- StreamingContinuousDataDrift ----------------------------------------------

template <class Mode>
std::expected<StreamingContinuousDataDrift<Mode>, BaselineError> StreamingContinuousDataDrift<Mode>::create(
    std::span<const double> baseline, std::optional<QuantileType> rule, Mode mode) {
    auto bins = BaselineContinuousBins::create(baseline, rule.value_or(QuantileType::FreedmanDiaconis));
    if (!bins) return std::unexpected(bins.error());
    return StreamingContinuousDataDrift(std::move(*bins), mode);
}

template <class Mode>
std::expected<void, DriftError> StreamingContinuousDataDrift<Mode>::update_stream_batch(
    std::span<const double> values) {
    if (values.empty()) return std::unexpected(DriftError::EmptyRuntimeData);
    this->add_batch(
        values.size(), [&](std::vector<std::uint64_t>& counts) { this->baseline_.count_bins(values, counts); },
        [&](std::size_t i) { return this->baseline_.bin_of(values[i]); });
    return {};
}

template <class Mode>
std::expected<void, BaselineError> StreamingContinuousDataDrift<Mode>::reset_baseline(
    std::span<const double> baseline) {
    auto rebuilt = BaselineContinuousBins::create(baseline, this->baseline_.quantile_type());
    if (!rebuilt) return std::unexpected(rebuilt.error());
    this->replace_baseline(std::move(*rebuilt));
    return {};
}

template <class Mode>
std::expected<ContinuousSnapshot, DriftError> StreamingContinuousDataDrift<Mode>::export_snapshot() const {
    const double total = this->window_.total();
    if (total == 0.0) return std::unexpected(DriftError::EmptyRuntimeData);
    ContinuousSnapshot snapshot{this->baseline_.bin_edges(), this->baseline_.baseline_hist(), {}};
    snapshot.stream_bins.reserve(this->window_.size());
    for (double w : this->window_.bins()) snapshot.stream_bins.push_back(w / total);
    return snapshot;
}

template class StreamingContinuousDataDrift<DecayMode>;
template class StreamingContinuousDataDrift<FlushMode>;

// ---- StreamingCategoricalDataDrift ---------------------------------------------

template <class Mode>
std::expected<StreamingCategoricalDataDrift<Mode>, DriftError> StreamingCategoricalDataDrift<Mode>::create(
    std::span<const std::string> baseline, Mode mode) {
    auto bins = BaselineCategoricalBins::create(baseline);
    if (!bins) return std::unexpected(bins.error());
    return StreamingCategoricalDataDrift(std::move(*bins), mode);
}

template <class Mode>
std::expected<void, DriftError> StreamingCategoricalDataDrift<Mode>::update_stream_batch(
    std::span<const std::uint32_t> bins) {
    if (bins.empty()) return std::unexpected(DriftError::EmptyRuntimeData);
    if (!bins_in_range(bins, this->window_.size())) return std::unexpected(DriftError::MalformedRuntimeBins);
    this->add_batch(
        bins.size(),
        [&](std::vector<std::uint64_t>& counts) {
            for (std::uint32_t b : bins) ++counts[b];
        },
        [&](std::size_t i) { return bins[i]; });
    return {};
}

template <class Mode>
std::expected<void, DriftError> StreamingCategoricalDataDrift<Mode>::reset_baseline(
    std::span<const std::string> baseline) {
    auto rebuilt = BaselineCategoricalBins::create(baseline);
    if (!rebuilt) return std::unexpected(rebuilt.error());
    this->replace_baseline(std::move(*rebuilt));
    return {};
}

template class StreamingCategoricalDataDrift<DecayMode>;
template class StreamingCategoricalDataDrift<FlushMode>;

}  // namespace tarvenn::drift
