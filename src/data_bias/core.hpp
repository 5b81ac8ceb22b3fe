// Pre-training data bias: the seven metrics of how the positive outcome is
// distributed between the facet (feature label 1) and the rest.
#pragma once

#include <cstdint>
#include <expected>
#include <span>

#include "segmentation/segmentation.hpp"
#include "core/errors.hpp"
#include "core/metrics.hpp"

namespace tarvenn {

struct PreTrainingCounts {
    std::uint64_t facet_a_positive = 0;
    std::uint64_t facet_a_count = 0;
    std::uint64_t facet_d_positive = 0;
    std::uint64_t facet_d_count = 0;

    // Adds one row: facet when the feature label is 1, positive when the truth is 1.
    void add(bool facet, bool positive) {
        if (facet) {
            ++facet_a_count;
            facet_a_positive += positive;
        } else {
            ++facet_d_count;
            facet_d_positive += positive;
        }
    }
    bool both_facets() const { return facet_a_count != 0 && facet_d_count != 0; }
    void add(const PreTrainingCounts& other) {
        facet_a_positive += other.facet_a_positive;
        facet_a_count += other.facet_a_count;
        facet_d_positive += other.facet_d_positive;
        facet_d_count += other.facet_d_count;
    }
    std::uint64_t rows() const { return facet_a_count + facet_d_count; }
};

using DataBiasResult = MetricMap<DataBiasMetric>;

// The seven metrics in 32-bit arithmetic. Both facets must hold rows
// (counts.both_facets()); each caller reports an empty facet in its own terms.
DataBiasResult pre_training_bias(const PreTrainingCounts& counts);

// Counts the facets of two label columns of equal length (the caller checks it).
PreTrainingCounts count_pre_training(const ColumnLabels& feature, const ColumnLabels& truth);

// The metrics of counts gathered from any number of batches: NoFacetDeviation for
// an empty facet or rest (no rows included).
std::expected<DataBiasResult, BiasError> data_bias_from_counts(const PreTrainingCounts& counts);

// Counts the facets of two label columns of equal length and computes the metrics.
// Different lengths: DataLengthError; an empty facet (or no rows): NoFacetDeviation.
std::expected<DataBiasResult, BiasError> data_bias_analysis_core(const ColumnLabels& feature,
                                                                 const ColumnLabels& truth);

}  // namespace tarvenn
