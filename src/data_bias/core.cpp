#include "data_bias/core.hpp"

#include <cmath>
#include <cstdlib>

#include "core/isa.hpp"

namespace tarvenn {

DataBiasResult pre_training_bias(const PreTrainingCounts& c) {
    DataBiasResult result;
    const auto n_a = c.facet_a_count;
    const auto n_d = c.facet_d_count;
    // |n_a − n_d| in unsigned arithmetic: counts restored from a saved state may exceed
    // the signed 64-bit range.
    const std::uint64_t gap = n_a > n_d ? n_a - n_d : n_d - n_a;
    const float ci = static_cast<float>(gap) / static_cast<float>(n_a + n_d);
    result.insert(DataBiasMetric::ClassImbalance, ci);

    const float q_a = static_cast<float>(c.facet_a_positive) / static_cast<float>(n_a);
    const float q_d = static_cast<float>(c.facet_d_positive) / static_cast<float>(n_d);
    const float dpl = q_a - q_d;
    result.insert(DataBiasMetric::DifferenceInProportionOfLabels, dpl);

    const float kl_neg = (1.0f - q_a) * std::log((1.0f - q_a) / (1.0f - q_d));
    const float kl_pos = q_a * std::log(q_a / q_d);
    result.insert(DataBiasMetric::KlDivergence, kl_neg + kl_pos);

    const float m = (q_a + q_d) * 0.5f;
    const float js_a = (1.0f - q_a) * std::log((1.0f - q_a) / (1.0f - m));
    const float js_a2 = q_a * std::log(q_a / m);
    const float js_d = (1.0f - q_d) * std::log((1.0f - q_d) / (1.0f - m));
    const float js_d2 = q_d * std::log(q_d / m);
    result.insert(DataBiasMetric::JsDivergence, 0.5f * ((js_a + js_a2) + (js_d + js_d2)));

    const float eps = (1.0f - q_a) + (q_d + -1.0f);
    const float eps_sq = eps * eps;
    const float dpl_sq = dpl * dpl;
    result.insert(DataBiasMetric::LpNorm, std::sqrt(eps_sq + dpl_sq));
    result.insert(DataBiasMetric::TotalVariationDistance, (std::fabs(dpl) + std::fabs(eps)) * 0.5f);
    result.insert(DataBiasMetric::KolmogorovSmirnov, std::fmax(std::fabs(eps), std::fabs(dpl)));
    return result;
}

PreTrainingCounts count_pre_training(const ColumnLabels& feature, const ColumnLabels& truth) {
    // Branch-free counting: labels are unpredictable, so the facet sums are
    // accumulated arithmetically and the rest derived from the totals.
    std::uint64_t facet = 0, facet_positive = 0;
    std::int64_t positive = 0;
    const std::array<const ColumnLabels*, 2> columns{&feature, &truth};
    for_each_label_chunk(columns, [&](const auto& chunks, std::size_t count) {
        const std::int16_t* f = chunks[0];
        const std::int16_t* g = chunks[1];
        with_widest_isa([&]() __attribute__((always_inline)) {
            // 32-bit sums within a chunk (at most kLabelChunk rows) vectorise.
            std::uint32_t chunk_facet = 0;
            std::int32_t chunk_facet_positive = 0, chunk_positive = 0;
            for (std::size_t r = 0; r < count; ++r) {
                const std::int32_t in_facet = f[r] == 1;
                chunk_facet += static_cast<std::uint32_t>(in_facet);
                chunk_facet_positive += in_facet * g[r];
                chunk_positive += g[r];
            }
            facet += chunk_facet;
            facet_positive += static_cast<std::uint64_t>(static_cast<std::int64_t>(chunk_facet_positive));
            positive += chunk_positive;
        });
    });
    return PreTrainingCounts{facet_positive, facet, static_cast<std::uint64_t>(positive) - facet_positive,
                             feature.size() - facet};
}

std::expected<DataBiasResult, BiasError> data_bias_from_counts(const PreTrainingCounts& counts) {
    if (!counts.both_facets()) return std::unexpected(BiasError::NoFacetDeviation);
    return pre_training_bias(counts);
}

std::expected<DataBiasResult, BiasError> data_bias_analysis_core(const ColumnLabels& feature,
                                                                 const ColumnLabels& truth) {
    // Columns of different lengths come from a misaligned join: refuse them
    // rather than compute from part of the data.
    if (feature.size() != truth.size()) return std::unexpected(BiasError::DataLengthError);
    return data_bias_from_counts(count_pre_training(feature, truth));
}

}  // namespace tarvenn
