// The state fields of a membership rule: its kind byte and its threshold byte.
#pragma once

#include <string>

#include "core/state_format.hpp"
#include "segmentation/int8_segmentation.hpp"

namespace tarvenn::state {

inline void write_segmentation(StateWriter& w, const Int8Segmentation& s) {
    w.u8(s.kind);
    w.u8(static_cast<std::uint8_t>(s.threshold));
}
inline Int8Segmentation read_segmentation(StateReader& r) {
    Int8Segmentation s;
    const std::uint8_t kind = r.u8();
    const std::uint8_t threshold = r.u8();
    if (kind > Int8Segmentation::Equal) r.fail_field("segmentation kind " + std::to_string(kind) + " is unknown");
    s.kind = kind > Int8Segmentation::Equal ? Int8Segmentation::Equal : static_cast<Int8Segmentation::Kind>(kind);
    s.threshold = static_cast<std::int8_t>(threshold);
    return s;
}
inline bool same_segmentation(const Int8Segmentation& a, const Int8Segmentation& b) {
    return a.kind == b.kind && a.threshold == b.threshold;
}

}  // namespace tarvenn::state
