#include "model_bias/core.hpp"

#include <cstddef>

namespace tarvenn {

SampleCells count_label_cells(std::span<const std::int16_t> feature, std::span<const std::int16_t> prediction,
                              std::span<const std::int16_t> ground_truth) {
    const std::int16_t* f = feature.data();
    const std::int16_t* p = prediction.data();
    const std::int16_t* o = ground_truth.data();
    return count_cells(feature.size(), [&](std::size_t i) { return cell_index(f[i] == 1, p[i] == 1, o[i] == 1); });
}

std::expected<DiscretePostTraining, BiasError> DiscretePostTraining::from_labels(
    std::span<const std::int16_t> feature, std::span<const std::int16_t> prediction,
    std::span<const std::int16_t> ground_truth) {
    if (feature.empty() || prediction.size() != feature.size() || ground_truth.size() != feature.size())
        return std::unexpected(BiasError::DataLengthError);
    DiscretePostTraining record;
    record.counts.add_cells(count_label_cells(feature, prediction, ground_truth));
    record.generalized_entropy = tarvenn::generalized_entropy(benefit_counts(record.counts));
    return record;
}

std::expected<MetricMap<ModelBiasMetric>, BiasError> post_training_bias(const DiscretePostTraining& record) {
    auto values = post_training_values(record.counts, record.generalized_entropy);
    if (!values) {
        return std::unexpected(values.error() == PostTrainingFailure::EmptyGroup ? BiasError::DataLengthError
                                                                                 : BiasError::NoFacetDeviation);
    }
    MetricMap<ModelBiasMetric> metrics;
    for (std::size_t i = 0; i < values->size(); ++i) metrics.insert(static_cast<ModelBiasMetric>(i), (*values)[i]);
    return metrics;
}

}  // namespace tarvenn
