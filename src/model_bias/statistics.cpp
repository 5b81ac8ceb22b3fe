#include "model_bias/statistics.hpp"

namespace tarvenn {

namespace {

float to_f32(std::uint64_t count) { return static_cast<float>(count); }

// One group's counts as the formulas use them: every stored count converted to a
// 32-bit float on its own.
struct GroupFloats {
    float n, y, p;           // size, observed positives, predicted positives
    float tp, fp, tn, fn;    // confusion counts
    std::uint64_t y_exact;   // observed positives, for the exact emptiness test

    explicit GroupFloats(const ConfusionMatrix& m)
        : n(to_f32(PostTrainingCounts::group_size(m))),
          y(to_f32(PostTrainingCounts::observed_positives(m))),
          p(to_f32(PostTrainingCounts::predicted_positives(m))),
          tp(m.tp()),
          fp(m.fp()),
          tn(m.tn()),
          fn(m.fn()),
          y_exact(PostTrainingCounts::observed_positives(m)) {}
};

}  // namespace

void PostTrainingCounts::add_cells(const SampleCells& cells) {
    for (bool is_facet : {false, true}) {
        ConfusionMatrix& m = is_facet ? facet : rest;
        m.true_pos += cells[cell_index(is_facet, true, true)];
        m.false_pos += cells[cell_index(is_facet, true, false)];
        m.true_neg += cells[cell_index(is_facet, false, false)];
        m.false_neg += cells[cell_index(is_facet, false, true)];
    }
}

BenefitCounts benefit_counts(const PostTrainingCounts& counts) {
    const ConfusionMatrix& f = counts.facet;
    const ConfusionMatrix& r = counts.rest;
    return {f.false_neg + r.false_neg, f.true_pos + r.true_pos + f.true_neg + r.true_neg,
            f.false_pos + r.false_pos};
}

float generalized_entropy(const BenefitCounts& b) {
    const double n = static_cast<double>(b.c0 + b.c1 + b.c2);
    const double s = static_cast<double>(b.c1 + 2 * b.c2);
    const double t = static_cast<double>(b.c1 + 4 * b.c2);
    const double ratio = (n * t) / (s * s);
    return static_cast<float>((ratio - 1.0) / 2.0);
}

float cond_dem_desp_in_pred_labels(const PostTrainingCounts& counts) {
    const std::uint64_t p_f = PostTrainingCounts::predicted_positives(counts.facet);
    const std::uint64_t p_r = PostTrainingCounts::predicted_positives(counts.rest);
    const std::uint64_t predicted = p_f + p_r;
    const std::uint64_t rejected = counts.samples() - predicted;
    const std::uint64_t facet_rejected = counts.facet_size() - p_f;
    const float rejected_share = to_f32(facet_rejected) / to_f32(rejected);
    const float accepted_share = to_f32(p_f) / to_f32(predicted);
    return rejected_share - accepted_share;
}

std::expected<ModelBiasValues, PostTrainingFailure> post_training_values(const PostTrainingCounts& counts,
                                                                         float generalized_entropy) {
    if (counts.facet_size() == 0 || counts.rest_size() == 0)
        return std::unexpected(PostTrainingFailure::EmptyGroup);

    const GroupFloats f(counts.facet);
    const GroupFloats r(counts.rest);
    const float q_f = f.p / f.n;
    const float q_r = r.p / r.n;

    const bool undefined = q_r == 0.0f || f.y_exact == 0 || r.y_exact == 0 || r.n - r.p == 0.0f ||
                           f.n - f.p == 0.0f || r.tn + r.fn == 0.0f || f.tn + f.fn == 0.0f ||
                           f.fp == 0.0f || r.fp == 0.0f;
    if (undefined) return std::unexpected(PostTrainingFailure::Undefined);

    auto accuracy = [](const GroupFloats& g) { return (g.tp + g.tn) / (g.tn + ((g.tp + g.fp) + g.fn)); };

    using M = ModelBiasMetric;
    ModelBiasValues v{};
    v[metric_index(M::DifferenceInPositivePredictedLabels)] = q_f - q_r;
    v[metric_index(M::DisparateImpact)] = q_f / q_r;
    v[metric_index(M::AccuracyDifference)] = accuracy(f) - accuracy(r);
    v[metric_index(M::RecallDifference)] = f.tp / (f.tp + f.fn) - r.tp / (r.tp + r.fn);
    v[metric_index(M::DifferenceInConditionalAcceptance)] = f.p / f.y - r.p / r.y;
    v[metric_index(M::DifferenceInAcceptanceRate)] = f.tp / (f.tp + f.fp) - r.tp / (r.tp + r.fp);
    v[metric_index(M::SpecialityDifference)] = f.tn / (f.tn + f.fp) - r.tn / (r.tn + r.fp);
    v[metric_index(M::DifferenceInConditionalRejection)] = (r.n - r.y) / (r.n - r.p) - (f.n - f.y) / (f.n - f.p);
    v[metric_index(M::DifferenceInRejectionRate)] = r.tn / (r.tn + r.fn) - f.tn / (f.tn + f.fn);
    v[metric_index(M::TreatmentEquity)] = r.fn / r.fp - f.fn / f.fp;
    v[metric_index(M::ConditionalDemographicDesparityPredictedLabels)] =
        cond_dem_desp_in_pred_labels(counts);
    v[metric_index(M::GeneralizedEntropy)] = generalized_entropy;
    return v;
}

}  // namespace tarvenn
