// Drift detectors: batch detectors that bin one runtime sample per call, and
// streaming detectors that accumulate samples in a decaying or flushed window.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "drift/baseline.hpp"
#include "drift/drift_metrics.hpp"
#include "drift/stream_window.hpp"

namespace tarvenn::drift {

// ---- batch -------------------------------------------------------------------

class ContinuousDataDrift {
public:
    // No rule: FreedmanDiaconis.
    static std::expected<ContinuousDataDrift, BaselineError> create(std::span<const double> baseline,
                                                                   std::optional<QuantileType> rule);
    // Bins `runtime` (empty: EmptyRuntimeData) into a histogram of its own and
    // computes; the detector is only read, so calls may run concurrently.
    std::expected<double, DriftError> compute_drift(std::span<const double> runtime, DataDriftType type) const;
    std::expected<std::vector<double>, DriftError> compute_drift_many(std::span<const double> runtime,
                                                                      std::span<const DataDriftType> types) const;
    std::expected<void, BaselineError> reset_baseline(std::span<const double> baseline);

    const BaselineContinuousBins& baseline() const { return baseline_; }
    std::uint32_t num_bins() const { return baseline_.n_bins(); }

    // Saved state (drift/state.cpp): the baseline alone (runtime bins are 0 between calls).
    std::vector<std::uint8_t> save_state() const;
    static std::expected<ContinuousDataDrift, state::StateError> load_state(std::span<const std::uint8_t> bytes);

private:
    explicit ContinuousDataDrift(BaselineContinuousBins baseline) : baseline_(std::move(baseline)) {}
    std::expected<std::vector<double>, DriftError> rt_hist(std::span<const double> runtime) const;

    BaselineContinuousBins baseline_;
};

// Runtime labels reach the categorical detectors as their bin indices
// (BaselineCategoricalBins::bin_of); an index outside the bins is MalformedRuntimeBins.
class CategoricalDataDrift {
public:
    static std::expected<CategoricalDataDrift, DriftError> create(std::span<const std::string> baseline);
    std::expected<double, DriftError> compute_drift(std::span<const std::uint32_t> runtime_bins,
                                                    DataDriftType type) const;
    std::expected<std::vector<double>, DriftError> compute_drift_many(std::span<const std::uint32_t> runtime_bins,
                                                                      std::span<const DataDriftType> types) const;
    std::expected<void, DriftError> reset_baseline(std::span<const std::string> baseline);

    const BaselineCategoricalBins& baseline() const { return baseline_; }
    std::size_t num_bins() const { return baseline_.n_bins(); }

    std::vector<std::uint8_t> save_state() const;
    static std::expected<CategoricalDataDrift, state::StateError> load_state(std::span<const std::uint8_t> bytes);

private:
    explicit CategoricalDataDrift(BaselineCategoricalBins baseline) : baseline_(std::move(baseline)) {}
    std::expected<std::vector<double>, DriftError> rt_hist(std::span<const std::uint32_t> runtime_bins) const;

    BaselineCategoricalBins baseline_;
};

// One-shot drift between two continuous samples, one value per drift type.
std::expected<std::vector<double>, BaselineError> compute_drift_continuous_distribution(
    std::span<const double> baseline, std::span<const double> candidate, std::span<const DataDriftType> types,
    std::optional<QuantileType> rule);

// The drift measures of runtime bin counts (gathered in any number of batches)
// against baseline fractions: the runtime bins are the counts as 64-bit floats,
// as a batch detector holds them after one call. No counts: EmptyRuntimeData.
std::expected<std::vector<double>, DriftError> drift_from_counts(std::span<const double> baseline_hist,
                                                                 std::span<const std::uint64_t> counts,
                                                                 std::span<const DataDriftType> types,
                                                                 BinLayout layout);

// ---- streaming ---------------------------------------------------------------

struct ContinuousSnapshot {
    std::vector<double> bin_edges;
    std::vector<double> baseline_bins;
    std::vector<double> stream_bins;  // weights divided by the running total
};

// What the continuous and categorical streaming detectors share: a baseline, the
// runtime window, and the drift between them.
template <class Baseline, class Mode, BinLayout Layout>
class StreamingDrift {
public:
    std::expected<double, DriftError> compute_drift(DataDriftType type);
    std::expected<std::vector<double>, DriftError> compute_drift_many(std::span<const DataDriftType> types);
    void flush() { window_.flush(); }

    const Baseline& baseline() const { return baseline_; }
    const StreamWindow<Mode>& window() const { return window_; }
    // The running total rounded down, saturating at 4294967295.
    std::uint32_t total_samples() const { return saturate_u32(window_.total()); }

    // Adds the window of `other` (drift/state.cpp); refused, with nothing changed,
    // when the baselines or the window settings differ.
    std::expected<void, MergeError> merge(const StreamingDrift& other);

protected:
    StreamingDrift(Baseline baseline, Mode mode);
    // A loaded detector: `window` has the baseline's bin count.
    StreamingDrift(Baseline baseline, StreamWindow<Mode> window);
    // Adds `n` samples, sample i in bin `bin_at(i)`. In decay mode, when the samples
    // are many against the bins, `count(counts_)` first counts them per bin.
    template <class Count, class BinAt>
    void add_batch(std::size_t n, Count&& count, BinAt&& bin_at);
    // Puts `rebuilt` in place of the baseline, with an empty window.
    void replace_baseline(Baseline rebuilt);

    Baseline baseline_;
    StreamWindow<Mode> window_;
    std::vector<std::uint64_t> counts_;  // decay-mode scratch: empty, or all 0 between calls
};

template <class Mode>
class StreamingContinuousDataDrift : public StreamingDrift<BaselineContinuousBins, Mode, BinLayout::Continuous> {
public:
    static std::expected<StreamingContinuousDataDrift, BaselineError> create(std::span<const double> baseline,
                                                                            std::optional<QuantileType> rule,
                                                                            Mode mode);
    void update_stream(double value) { this->window_.add(this->baseline_.bin_of(value)); }
    std::expected<void, DriftError> update_stream_batch(std::span<const double> values);
    std::expected<void, BaselineError> reset_baseline(std::span<const double> baseline);
    std::expected<ContinuousSnapshot, DriftError> export_snapshot() const;

    std::uint32_t n_bins() const { return this->baseline_.n_bins(); }

    // Saved state (drift/state.cpp): baseline, then window.
    std::vector<std::uint8_t> save_state() const;
    static std::expected<StreamingContinuousDataDrift, state::StateError> load_state(
        std::span<const std::uint8_t> bytes);

private:
    using StreamingDrift<BaselineContinuousBins, Mode, BinLayout::Continuous>::StreamingDrift;
};

template <class Mode>
class StreamingCategoricalDataDrift : public StreamingDrift<BaselineCategoricalBins, Mode, BinLayout::Categorical> {
public:
    static std::expected<StreamingCategoricalDataDrift, DriftError> create(std::span<const std::string> baseline,
                                                                          Mode mode);
    // `bin` must be below n_bins() (it comes from baseline().bin_of).
    void update_stream(std::uint32_t bin) { this->window_.add(bin); }
    std::expected<void, DriftError> update_stream_batch(std::span<const std::uint32_t> bins);
    std::expected<void, DriftError> reset_baseline(std::span<const std::string> baseline);

    std::size_t n_bins() const { return this->baseline_.n_bins(); }

    std::vector<std::uint8_t> save_state() const;
    static std::expected<StreamingCategoricalDataDrift, state::StateError> load_state(
        std::span<const std::uint8_t> bytes);

private:
    using StreamingDrift<BaselineCategoricalBins, Mode, BinLayout::Categorical>::StreamingDrift;
};

}  // namespace tarvenn::drift
