// Saved state and merging of the streaming data bias monitor.
//
// Payload: baseline record (7 f32, metric order), feature and truth membership rules
// (kind u8, threshold i8 each), running counts (facet_a_positive, facet_a_count,
// facet_d_positive, facet_d_count, u64 each).
#include "data_bias/streaming.hpp"
#include "segmentation/int8_segmentation_state.hpp"

namespace tarvenn {
namespace {

void write_counts(state::StateWriter& w, const PreTrainingCounts& c) {
    w.u64(c.facet_a_positive);
    w.u64(c.facet_a_count);
    w.u64(c.facet_d_positive);
    w.u64(c.facet_d_count);
}

PreTrainingCounts read_counts(state::StateReader& r) {
    PreTrainingCounts c;
    c.facet_a_positive = r.u64();
    c.facet_a_count = r.u64();
    c.facet_d_positive = r.u64();
    c.facet_d_count = r.u64();
    if (c.facet_a_positive > c.facet_a_count) r.fail_field("facet positives exceed the facet count");
    if (c.facet_d_positive > c.facet_d_count) r.fail_field("rest positives exceed the rest count");
    if (c.facet_a_count + c.facet_d_count < c.facet_a_count) r.fail_field("sample counts overflow their total");
    return c;
}

}  // namespace

std::vector<std::uint8_t> StreamingDataBias::save_state() const {
    state::StateWriter w(state::ClassTag::DataBiasStreaming);
    state::write_floats(w, baseline_.values);
    state::write_segmentation(w, facet_);
    state::write_segmentation(w, positive_);
    write_counts(w, running_);
    return std::move(w).finish();
}

std::expected<StreamingDataBias, state::StateError> StreamingDataBias::load_state(std::span<const std::uint8_t> bytes) {
    auto r = state::open_state(bytes, state::ClassTag::DataBiasStreaming);
    if (!r) return std::unexpected(r.error());
    StreamingDataBias m;
    state::read_floats(*r, m.baseline_.values);
    m.facet_ = state::read_segmentation(*r);
    m.positive_ = state::read_segmentation(*r);
    m.running_ = read_counts(*r);
    if (auto done = r->finish(); !done) return std::unexpected(done.error());
    return m;
}

std::expected<void, MergeError> StreamingDataBias::merge(const StreamingDataBias& other) {
    if (!state::same_bits(baseline_.values, other.baseline_.values))
        return std::unexpected(MergeError{"cannot merge: the baselines differ"});
    if (!state::same_segmentation(facet_, other.facet_) || !state::same_segmentation(positive_, other.positive_))
        return std::unexpected(MergeError{"cannot merge: the segmentation rules differ"});
    PreTrainingCounts sum = running_;
    if (!state::add_u64(sum.facet_a_positive, other.running_.facet_a_positive) ||
        !state::add_u64(sum.facet_a_count, other.running_.facet_a_count) ||
        !state::add_u64(sum.facet_d_positive, other.running_.facet_d_positive) ||
        !state::add_u64(sum.facet_d_count, other.running_.facet_d_count) ||
        sum.facet_a_count + sum.facet_d_count < sum.facet_a_count)
        return std::unexpected(MergeError{"cannot merge: the counts would overflow"});
    running_ = sum;
    return {};
}

}  // namespace tarvenn
