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
#include "segmentation/int8_counting.hpp"

namespace tarvenn {

// Number of samples of each (facet, predicted positive, observed positive)
// combination, indexed by cell_index.
using SampleCells = std::array<std::uint64_t, 8>;

constexpr std::size_t cell_index(bool facet, bool predicted, bool observed) {
    return (std::size_t{facet} << 2) | (std::size_t{predicted} << 1) | std::size_t{observed};
}

// The cells from the counts of every intersection of facet (a), predicted (b) and
// observed (c), by inclusion and exclusion.
inline SampleCells cells_of(const TripleMembership& m) {
    SampleCells cells{};
    cells[cell_index(true, true, true)] = m.abc;
    cells[cell_index(true, true, false)] = m.ab - m.abc;
    cells[cell_index(true, false, true)] = m.ac - m.abc;
    cells[cell_index(true, false, false)] = m.a - m.ab - m.ac + m.abc;
    cells[cell_index(false, true, true)] = m.bc - m.abc;
    cells[cell_index(false, true, false)] = m.b - m.ab - m.bc + m.abc;
    cells[cell_index(false, false, true)] = m.c - m.ac - m.bc + m.abc;
    cells[cell_index(false, false, false)] = m.rows - m.a - m.b - m.c + m.ab + m.ac + m.bc - m.abc;
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
