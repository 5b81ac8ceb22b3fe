// Saved state and merging of the streaming model bias monitor.
//
// Payload: baseline record (12 f32, metric order), feature, prediction and ground
// truth membership rules (kind u8, threshold i8 each), running confusion counts of
// the facet then of the rest (true_pos, false_pos, true_neg, false_neg, u64 each),
// benefit counts c0, c1, c2 (u64 each; they must equal those of the confusion counts).
#include "model_bias/streaming.hpp"
#include "segmentation/int8_segmentation_state.hpp"

namespace tarvenn {
namespace {

bool same_benefits(const BenefitCounts& a, const BenefitCounts& b) {
    return a.c0 == b.c0 && a.c1 == b.c1 && a.c2 == b.c2;
}

}  // namespace

std::vector<std::uint8_t> StreamingModelBias::save_state() const {
    state::StateWriter w(state::ClassTag::ModelBiasStreaming);
    state::write_floats(w, baseline_.values);
    state::write_segmentation(w, seg_.feature);
    state::write_segmentation(w, seg_.prediction);
    state::write_segmentation(w, seg_.ground_truth);
    state::write_confusion(w, running_.counts.facet);
    state::write_confusion(w, running_.counts.rest);
    w.u64(buckets_.buckets.c0);
    w.u64(buckets_.buckets.c1);
    w.u64(buckets_.buckets.c2);
    return std::move(w).finish();
}

std::expected<StreamingModelBias, state::StateError> StreamingModelBias::load_state(
    std::span<const std::uint8_t> bytes) {
    auto r = state::open_state(bytes, state::ClassTag::ModelBiasStreaming);
    if (!r) return std::unexpected(r.error());
    ModelBiasRuntime baseline;
    state::read_floats(*r, baseline.values);
    ModelBiasSegmentation seg;
    seg.feature = state::read_segmentation(*r);
    seg.prediction = state::read_segmentation(*r);
    seg.ground_truth = state::read_segmentation(*r);
    StreamingModelBias m(baseline, seg);
    m.running_.counts.facet = state::read_confusion(*r);
    m.running_.counts.rest = state::read_confusion(*r);
    m.buckets_.buckets.c0 = r->u64();
    m.buckets_.buckets.c1 = r->u64();
    m.buckets_.buckets.c2 = r->u64();
    ConfusionMatrix total = m.running_.counts.facet;
    if (r->ok() && !state::add_confusion(total, m.running_.counts.rest))
        r->fail_field("facet and rest counts overflow their total");
    if (r->ok() && !same_benefits(m.buckets_.buckets, benefit_counts(m.running_.counts)))
        r->fail_field("benefit counts disagree with the confusion counts");
    if (auto done = r->finish(); !done) return std::unexpected(done.error());
    return m;
}

std::expected<void, MergeError> StreamingModelBias::merge(const StreamingModelBias& other) {
    if (!state::same_bits(baseline_.values, other.baseline_.values))
        return std::unexpected(MergeError{"cannot merge: the baselines differ"});
    if (!state::same_segmentation(seg_.feature, other.seg_.feature) ||
        !state::same_segmentation(seg_.prediction, other.seg_.prediction) ||
        !state::same_segmentation(seg_.ground_truth, other.seg_.ground_truth))
        return std::unexpected(MergeError{"cannot merge: the segmentation rules differ"});
    PostTrainingCounts sum = running_.counts;
    ConfusionMatrix total = running_.counts.facet;
    if (!state::add_confusion(sum.facet, other.running_.counts.facet) ||
        !state::add_confusion(sum.rest, other.running_.counts.rest) ||
        !state::add_confusion(total, running_.counts.rest) ||
        !state::add_confusion(total, other.running_.counts.facet) ||
        !state::add_confusion(total, other.running_.counts.rest))
        return std::unexpected(MergeError{"cannot merge: the counts would overflow"});
    running_.counts = sum;
    buckets_.buckets = benefit_counts(sum);
    return {};
}

}  // namespace tarvenn
