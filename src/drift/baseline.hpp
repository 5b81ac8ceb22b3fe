// Baseline histograms: continuous bins with edges derived from the baseline values,
// and categorical bins over the distinct baseline labels plus one unseen-label bin.
// Only edges, fractions and settings are kept, never the baseline values.
#pragma once

#include <algorithm>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "drift/distribution.hpp"
#include "drift/label_index.hpp"
#include "core/errors.hpp"
#include "core/state_format.hpp"
#include <optional>

namespace tarvenn::drift {

// Storage grows with the bin count; an extreme outlier or an infinite value can ask
// for billions of bins, which is refused. A million bins is far beyond what any of
// the rules gives for sensible data (Freedman-Diaconis needs a range a million times
// the spread of the middle half, scaled by n^(1/3)) and costs tens of megabytes.
inline constexpr std::uint32_t kMaxBins = 1'000'000;

struct TooManyBins {
    std::uint32_t requested;
    std::uint32_t limit;
};

// "The baseline needs <requested> bins, more than the limit of <limit> bins".
std::string display(const TooManyBins& e);

// Failures of building a continuous baseline.
using BaselineError = std::variant<DriftError, TooManyBins>;

class BaselineContinuousBins {
public:
    // Validates (at least 2 values, no NaN), fixes N by `rule`, builds edges and fractions.
    static std::expected<BaselineContinuousBins, BaselineError> create(std::span<const double> values,
                                                                      QuantileType rule);
    // The same with the stored rule; on failure nothing changes.
    std::expected<void, BaselineError> reset(std::span<const double> values);

    const std::vector<double>& bin_edges() const { return bin_edges_; }
    const std::vector<double>& baseline_hist() const { return baseline_hist_; }
    std::uint32_t n_bins() const { return n_bins_; }
    QuantileType quantile_type() const { return quantile_type_; }

    // The bin of a value, literally: below the first edge bin 0, above the last edge
    // bin N - 1, otherwise the number of edges <= v, capped at N - 1 (a NaN value is
    // <= no edge and lands in bin 0). Finite ascending edges are equally spaced, so the
    // bin is guessed arithmetically and corrected against the stored edges; any other
    // edge list (an infinite baseline gives edges such as [-inf, NaN, ...]) is counted
    // by a binary search over its sorted non-NaN edges, which is the same count.
    std::uint32_t bin_of(double v) const {
        if (v < first_edge_) return 0;
        if (v > last_edge_) return n_bins_ - 1;
        if (v != v) return 0;
        std::size_t k;
        if (arithmetic_guess_) {
            const double* e = bin_edges_.data();
            const double g = (v - first_edge_) * inverse_width_;
            k = g < static_cast<double>(last_index_) ? static_cast<std::size_t>(g) + 1 : last_index_ + 1;
            while (k <= last_index_ && e[k] <= v) ++k;
            while (k > 1 && e[k - 1] > v) --k;
        } else {
            const std::vector<double>& sorted = search_ordered_ ? ordered_edges_ : bin_edges_;
            k = static_cast<std::size_t>(std::upper_bound(sorted.begin(), sorted.end(), v) - sorted.begin());
        }
        return static_cast<std::uint32_t>(std::min<std::size_t>(k, n_bins_ - 1));
    }

    // Adds the count of every value's bin to `counts` (n_bins entries).
    void count_bins(std::span<const double> values, std::span<std::uint64_t> counts) const;

    // Saved state (drift/state.cpp). load_state fails the reader (and returns
    // nullopt) on fields that no baseline can have.
    void save_state(state::StateWriter& w) const;
    static std::optional<BaselineContinuousBins> load_state(state::StateReader& r);
    // The same rule, edges and fractions, bit for bit.
    bool same_as(const BaselineContinuousBins& other) const;

private:
    BaselineContinuousBins() = default;
    static std::expected<BaselineContinuousBins, BaselineError> build(std::span<const double> values,
                                                                     QuantileType rule);
    void init_edges(double min, double max);
    void prepare_lookup();

    std::vector<double> bin_edges_;
    std::vector<double> baseline_hist_;
    std::uint32_t n_bins_ = 3;
    QuantileType quantile_type_ = QuantileType::FreedmanDiaconis;

    // Lookup state derived from the edges.
    double first_edge_ = 0.0;
    double last_edge_ = 0.0;
    std::size_t last_index_ = 0;  // index of the last edge
    double inverse_width_ = 0.0;
    bool arithmetic_guess_ = false;
    // The non-NaN edges in ascending order, searched when the stored edges are not
    // already that list (search_ordered_).
    std::vector<double> ordered_edges_;
    bool search_ordered_ = false;
};

class BaselineCategoricalBins {
public:
    // No labels: EmptyBaselineData.
    static std::expected<BaselineCategoricalBins, DriftError> create(std::span<const std::string> labels);
    // Rebuilds the label bins; with no labels fails before changing anything.
    std::expected<void, DriftError> define_bins(std::span<const std::string> labels);

    // Index of a label in ascending byte order, or the unseen-label bin.
    std::uint32_t bin_of(std::string_view label) const { return label_index_.find(label); }
    std::uint32_t unseen_bin() const { return static_cast<std::uint32_t>(label_index_.size()); }
    std::size_t n_bins() const { return baseline_hist_.size(); }
    const LabelIndex& label_index() const { return label_index_; }
    const std::vector<double>& baseline_hist() const { return baseline_hist_; }

    // Saved state (drift/state.cpp), as for the continuous bins.
    void save_state(state::StateWriter& w) const;
    static std::optional<BaselineCategoricalBins> load_state(state::StateReader& r);
    bool same_as(const BaselineCategoricalBins& other) const;

private:
    BaselineCategoricalBins() = default;
    LabelIndex label_index_;
    std::vector<double> baseline_hist_;
};

}  // namespace tarvenn::drift
