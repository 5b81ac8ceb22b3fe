#include "drift/stream_window.hpp"

#include <cmath>

#include "drift/distribution.hpp"
#include "drift/drift_metrics.hpp"

namespace tarvenn::drift {

std::expected<DecayMode, DriftError> decay_mode(std::optional<std::uint64_t> half_life) {
    const std::uint64_t v = half_life.value_or(86400);
    if (v == 0) return std::unexpected(DriftError::UnsupportedConfiguration);
    return DecayMode{std::exp2(-1.0 / static_cast<double>(v))};
}

FlushMode flush_mode(std::optional<std::uint64_t> flush_rate, std::optional<std::uint64_t> flush_cadence) {
    return FlushMode{flush_rate ? static_cast<double>(*flush_rate) : 1000000.0, flush_cadence.value_or(86400)};
}

double add_ones(double x, std::uint64_t k) {
    while (k > 0) {
        if (!(x >= 0.0) || x >= 0x1p52) {
            for (; k > 0; --k) x += 1.0;
            return x;
        }
        if (x < 1.0) {
            x += 1.0;
            --k;
            continue;
        }
        int exponent = 0;
        std::frexp(x, &exponent);
        const double next_binade = std::ldexp(1.0, exponent);  // x < next_binade <= 2x
        const double room = next_binade - x;                   // exact
        const auto exact_steps = static_cast<std::uint64_t>(std::ceil(room)) - 1;
        if (k <= exact_steps) return x + static_cast<double>(k);
        x += static_cast<double>(exact_steps);
        k -= exact_steps;
        x += 1.0;  // the one addition that rounds
        --k;
    }
    return x;
}

template <class Mode>
StreamWindow<Mode>::StreamWindow(std::size_t n_bins, Mode mode) : bins_(n_bins, 0.0), mode_(mode) {
    if constexpr (kFlush) last_flush_ = Clock::now();
}

template <class Mode>
void StreamWindow<Mode>::add_counts(std::span<const std::uint64_t> counts, std::uint64_t n) {
    for (std::size_t b = 0; b < counts.size(); ++b)
        if (counts[b] != 0) bins_[b] = add_ones(bins_[b], counts[b]);
    total_ = add_ones(total_, n);
}

template <class Mode>
std::expected<void, DriftError> StreamWindow<Mode>::prepare_drift() {
    if (bins_.empty() || sum_in_bin_order(bins_) == 0.0) return std::unexpected(DriftError::EmptyRuntimeData);
    if constexpr (!kFlush) {
        for (double& w : bins_) w *= mode_.decay_factor;
        total_ *= mode_.decay_factor;
    }
    return {};
}

template <class Mode>
void StreamWindow<Mode>::flush() {
    std::fill(bins_.begin(), bins_.end(), 0.0);
    total_ = 0.0;
    if constexpr (kFlush) last_flush_ = Clock::now();
}

template <class Mode>
void StreamWindow<Mode>::reset(std::size_t n_bins) {
    std::vector<double> fresh(n_bins, 0.0);
    bins_ = std::move(fresh);
    total_ = 0.0;
    if constexpr (kFlush) last_flush_ = Clock::now();
}

template <class Mode>
std::uint64_t StreamWindow<Mode>::seconds_since_flush() const {
    const auto elapsed = Clock::now() - last_flush_;
    if (elapsed.count() <= 0) return 0;
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
}

template <class Mode>
void StreamWindow<Mode>::before_sample() {
    if constexpr (kFlush) {
        if (total_ >= mode_.flush_rate) {
            flush();
        } else if (saturate_u64(total_) % 256 == 0 && seconds_since_flush() >= mode_.flush_cadence_seconds) {
            flush();
        }
    }
}

template class StreamWindow<DecayMode>;
template class StreamWindow<FlushMode>;

}  // namespace tarvenn::drift
