#include "model_bias/core.hpp"

#include <cstddef>

#include "core/isa.hpp"

namespace tarvenn {

SampleCells count_label_cells(const ColumnLabels& feature, const ColumnLabels& prediction,
                              const ColumnLabels& ground_truth) {
    // Sums of every intersection, vectorised, instead of a histogram of cells.
    TripleMembership m;
    const std::array<const ColumnLabels*, 3> columns{&feature, &prediction, &ground_truth};
    for_each_label_chunk(columns, [&](const auto& chunks, std::size_t count) {
        const std::int16_t* f = chunks[0];
        const std::int16_t* p = chunks[1];
        const std::int16_t* o = chunks[2];
        with_widest_isa([&]() __attribute__((always_inline)) {
            // 32-bit sums within a chunk (at most kLabelChunk rows).
            std::uint32_t sa = 0, sb = 0, sc = 0, sab = 0, sac = 0, sbc = 0, sabc = 0;
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint32_t a = f[i] == 1, b = p[i] == 1, c = o[i] == 1;
                sa += a;
                sb += b;
                sc += c;
                sab += a & b;
                sac += a & c;
                sbc += b & c;
                sabc += a & b & c;
            }
            m.rows += count;
            m.a += sa, m.b += sb, m.c += sc;
            m.ab += sab, m.ac += sac, m.bc += sbc, m.abc += sabc;
        });
    });
    return cells_of(m);
}

std::expected<DiscretePostTraining, BiasError> DiscretePostTraining::from_labels(
    const ColumnLabels& feature, const ColumnLabels& prediction, const ColumnLabels& ground_truth) {
    if (feature.size() == 0 || prediction.size() != feature.size() || ground_truth.size() != feature.size())
        return std::unexpected(BiasError::DataLengthError);
    PostTrainingCounts counts;
    counts.add_cells(count_label_cells(feature, prediction, ground_truth));
    return from_counts(counts);
}

std::expected<DiscretePostTraining, BiasError> DiscretePostTraining::from_counts(const PostTrainingCounts& counts) {
    if (counts.samples() == 0) return std::unexpected(BiasError::DataLengthError);
    DiscretePostTraining record;
    record.counts = counts;
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
