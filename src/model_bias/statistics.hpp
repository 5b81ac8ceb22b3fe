// Counts of a population split into facet and rest, and the twelve post-training
// bias formulas evaluated from them. The batch analysis and the records built from
// running counts both go through these functions, so equal counts give
// bit-identical metrics.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>

#include "core/confusion_matrix.hpp"
#include "core/metrics.hpp"

namespace tarvenn {

// Number of samples of each (facet, predicted positive, observed positive)
// combination, indexed by cell_index.
using SampleCells = std::array<std::uint64_t, 8>;

constexpr std::size_t cell_index(bool facet, bool predicted, bool observed) {
    return (std::size_t{facet} << 2) | (std::size_t{predicted} << 1) | std::size_t{observed};
}

// Counts samples 0..n−1 into their cells; `cell_of(i)` gives sample i's cell.
// Four interleaved tables, so that consecutive samples in the same cell do not wait
// on each other's increment.
template <class CellOf>
SampleCells count_cells(std::size_t n, CellOf cell_of) {
    constexpr std::size_t kLanes = 4;
    std::uint64_t lanes[kLanes][8] = {};
    std::size_t i = 0;
    for (; i + kLanes <= n; i += kLanes) {
        for (std::size_t lane = 0; lane < kLanes; ++lane) ++lanes[lane][cell_of(i + lane)];
    }
    for (; i < n; ++i) ++lanes[0][cell_of(i)];
    SampleCells cells{};
    for (std::size_t c = 0; c < cells.size(); ++c)
        for (std::size_t lane = 0; lane < kLanes; ++lane) cells[c] += lanes[lane][c];
    return cells;
}

// Exact 64-bit confusion counts of the facet and of the rest. Group sizes and
// observed / predicted positives derive from them, so they can never disagree.
struct PostTrainingCounts {
    ConfusionMatrix facet;
    ConfusionMatrix rest;

    void add_sample(bool is_facet, bool predicted, bool observed) {
        (is_facet ? facet : rest).push(observed, predicted);
    }
    void add_cells(const SampleCells& cells);
    void add(const PostTrainingCounts& other) {
        facet.add(other.facet);
        rest.add(other.rest);
    }

    std::uint64_t facet_size() const { return group_size(facet); }
    std::uint64_t rest_size() const { return group_size(rest); }
    std::uint64_t samples() const { return facet_size() + rest_size(); }
    static std::uint64_t group_size(const ConfusionMatrix& m) {
        return m.true_pos + m.false_pos + m.true_neg + m.false_neg;
    }
    static std::uint64_t observed_positives(const ConfusionMatrix& m) { return m.true_pos + m.false_neg; }
    static std::uint64_t predicted_positives(const ConfusionMatrix& m) { return m.true_pos + m.false_pos; }
};

// Benefit counts for the generalized entropy, with benefit b = predicted − observed
// + 1: c0 false negatives (b = 0), c1 true positives and true negatives (b = 1),
// c2 false positives (b = 2).
struct BenefitCounts {
    std::uint64_t c0 = 0;
    std::uint64_t c1 = 0;
    std::uint64_t c2 = 0;
};
BenefitCounts benefit_counts(const PostTrainingCounts& counts);

// Generalized entropy index with alpha = 2: (n·T / (S·S) − 1) / 2 with n the sample
// count, S = Σb and T = Σb², in 64-bit floats, rounded to 32 bits. NaN when every
// benefit is 0.
float generalized_entropy(const BenefitCounts& b);

// Demographic disparity of the facet in predicted labels: the facet's share of the
// predicted negatives minus its share of the predicted positives, A_f / R − P_f / P.
float cond_dem_desp_in_pred_labels(const PostTrainingCounts& counts);

// Why a set of counts has no metrics: an empty facet or rest, or a later check.
enum class PostTrainingFailure : std::uint8_t { EmptyGroup, Undefined };

using ModelBiasValues = std::array<float, metric_count<ModelBiasMetric>>;

// The twelve metrics in code order; `generalized_entropy` is stored as given. All
// checks are made before any value is computed: every value or none.
std::expected<ModelBiasValues, PostTrainingFailure> post_training_values(const PostTrainingCounts& counts,
                                                                         float generalized_entropy);

}  // namespace tarvenn
