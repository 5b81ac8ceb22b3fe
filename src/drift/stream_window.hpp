// The runtime window of a streaming drift detector: one weight per bin and their
// running total. Decay mode shrinks the weights by a factor on every drift
// computation; flush mode keeps plain counts and clears them when the total reaches
// the flush rate or when the flush cadence has elapsed on the monotonic clock.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <vector>

#include "drift/distribution.hpp"
#include "core/errors.hpp"
#include "core/state_fields.hpp"

namespace tarvenn::drift {

struct DecayMode {
    double decay_factor;
};
struct FlushMode {
    double flush_rate;
    std::uint64_t flush_cadence_seconds;
};

// Half-life in drift computations; none: 86400. Zero is UnsupportedConfiguration.
std::expected<DecayMode, DriftError> decay_mode(std::optional<std::uint64_t> half_life);
// None: rate 1000000 samples, cadence 86400 seconds.
FlushMode flush_mode(std::optional<std::uint64_t> flush_rate, std::optional<std::uint64_t> flush_cadence);

// x + 1.0 + 1.0 + ... (k additions, each rounded), computed in a few exact steps:
// within one binade below 2^52 each addition is exact, so only the addition that
// crosses into the next binade rounds.
double add_ones(double x, std::uint64_t k);

template <class Mode>
class StreamWindow {
public:
    StreamWindow(std::size_t n_bins, Mode mode);

    const std::vector<double>& bins() const { return bins_; }
    double total() const { return total_; }
    const Mode& mode() const { return mode_; }
    std::size_t size() const { return bins_.size(); }

    // One sample in bin `bin` (flush mode first checks rate and cadence). Allocates nothing.
    void add(std::uint32_t bin) {
        if constexpr (kFlush) before_sample();
        bins_[bin] += 1.0;
        total_ += 1.0;
    }

    // `n` samples, sample i in bin `bin_at(i)`, exactly as n calls of add().
    template <class BinAt>
    void add_sequence(std::size_t n, BinAt&& bin_at);

    // Decay mode only: adds `counts[b]` samples to every bin b (n samples in all),
    // exactly as adding them one at a time in any order.
    void add_counts(std::span<const std::uint64_t> counts, std::uint64_t n);

    // Fails with EmptyRuntimeData when the weights sum to 0; in decay mode then
    // shrinks every weight and the total by the factor.
    std::expected<void, DriftError> prepare_drift();

    // Weights and total to 0 (flush mode: the last flush is now).
    void flush();
    // A fresh window of `n_bins` bins.
    void reset(std::size_t n_bins);

    // Whole seconds since the last flush, saturating at 0 (flush mode).
    std::uint64_t seconds_since_flush() const;

    // Saved state (drift/state.cpp): the mode's settings, the weights and the total;
    // flush mode adds the nanoseconds since the last flush, and a loaded window sets
    // its last flush to now minus that time. load_state fails the reader (and
    // returns nullopt) on bad fields.
    void save_state(state::StateWriter& w) const;
    static std::optional<StreamWindow> load_state(state::StateReader& r, std::size_t n_bins);
    // Adds the weights and totals of `other` (same settings and bin count, else
    // refused and nothing changes). Flush mode keeps the earlier of the two last
    // flushes; a merged total at or above the flush rate flushes on the next sample.
    std::expected<void, MergeError> merge(const StreamWindow& other);

private:
    static constexpr bool kFlush = std::is_same_v<Mode, FlushMode>;
    using Clock = std::chrono::steady_clock;

    // Flush mode: the checks made before a sample is counted.
    void before_sample();

    std::vector<double> bins_;
    double total_ = 0.0;
    Mode mode_;
    Clock::time_point last_flush_{};
};

template <class Mode>
template <class BinAt>
void StreamWindow<Mode>::add_sequence(std::size_t n, BinAt&& bin_at) {
    if constexpr (!kFlush) {
        for (std::size_t i = 0; i < n; ++i) add(bin_at(i));
    } else {
        // Between two checks that could act (the total reaching the rate, or a
        // multiple of 256 that reads the clock) samples are counted without checks.
        // The total is a whole count here, so adding a chunk's size at once is exact.
        std::size_t i = 0;
        while (i < n) {
            before_sample();
            const std::uint64_t whole = saturate_u64(total_);
            const std::uint64_t to_clock = 256 - whole % 256;
            const double room = mode_.flush_rate - total_;  // > 0 after the checks
            const std::uint64_t to_rate =
                room <= 1.0 ? 1 : (room >= 0x1p62 ? (std::uint64_t{1} << 62) : static_cast<std::uint64_t>(std::ceil(room)));
            const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>({n - i, to_clock, to_rate}));
            for (std::size_t j = 0; j < chunk; ++j) bins_[bin_at(i + j)] += 1.0;
            total_ += static_cast<double>(chunk);
            i += chunk;
        }
    }
}

}  // namespace tarvenn::drift
