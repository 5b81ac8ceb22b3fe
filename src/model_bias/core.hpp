// Post-training model bias of one population: one counting pass over the facet,
// prediction and ground-truth labels, then the twelve metrics.
#pragma once

#include <cstdint>
#include <expected>
#include <span>

#include "segmentation/segmentation.hpp"
#include "core/errors.hpp"
#include "core/metrics.hpp"
#include "model_bias/statistics.hpp"

namespace tarvenn {

// The counts of one batch and its generalized entropy.
struct DiscretePostTraining {
    PostTrainingCounts counts;
    float generalized_entropy = 0.0f;

    // One pass over the three label sequences (1 = member, anything else = not).
    // Fails with DataLengthError when the features are empty or the lengths differ.
    static std::expected<DiscretePostTraining, BiasError> from_labels(const ColumnLabels& feature,
                                                                      const ColumnLabels& prediction,
                                                                      const ColumnLabels& ground_truth);
    // The record of counts gathered from any number of batches; its entropy is
    // computed from them, as from_labels computes it. No rows: DataLengthError.
    static std::expected<DiscretePostTraining, BiasError> from_counts(const PostTrainingCounts& counts);
};

// Number of samples in each (facet, predicted, observed) cell of the three label
// columns, which must have equal lengths.
SampleCells count_label_cells(const ColumnLabels& feature, const ColumnLabels& prediction,
                              const ColumnLabels& ground_truth);

// The twelve metrics of a batch: DataLengthError for an empty facet or rest,
// NoFacetDeviation when another metric is undefined.
std::expected<MetricMap<ModelBiasMetric>, BiasError> post_training_bias(const DiscretePostTraining& record);

}  // namespace tarvenn
