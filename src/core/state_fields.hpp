// Field helpers shared by the families' state and merge code: float records, confusion
// counts, segmentation rules, and the refusal of a merge.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/confusion_matrix.hpp"
#include "core/state_format.hpp"

namespace tarvenn {

// Why `merge` refused: the message of the ValueError. The target is unchanged.
struct MergeError {
    std::string message;
};

namespace state {

template <std::size_t N>
void write_floats(StateWriter& w, const std::array<float, N>& values) {
    for (float v : values) w.f32(v);
}
template <std::size_t N>
void read_floats(StateReader& r, std::array<float, N>& values) {
    for (float& v : values) v = r.f32();
}

// Equal bit patterns (NaN equals the same NaN; 0.0 and -0.0 differ).
template <class T, std::size_t N>
bool same_bits(const std::array<T, N>& a, const std::array<T, N>& b) {
    return std::memcmp(a.data(), b.data(), N * sizeof(T)) == 0;
}
inline bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }
inline bool same_bits(float a, float b) { return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b); }

inline void write_confusion(StateWriter& w, const ConfusionMatrix& m) {
    w.u64(m.true_pos);
    w.u64(m.false_pos);
    w.u64(m.true_neg);
    w.u64(m.false_neg);
}
inline ConfusionMatrix read_confusion(StateReader& r) {
    ConfusionMatrix m;
    m.true_pos = r.u64();
    m.false_pos = r.u64();
    m.true_neg = r.u64();
    m.false_neg = r.u64();
    if (m.true_pos + m.false_pos < m.true_pos || m.true_pos + m.false_pos + m.true_neg < m.true_neg ||
        m.true_pos + m.false_pos + m.true_neg + m.false_neg < m.false_neg)
        r.fail_field("confusion counts overflow their 64-bit total");
    return m;
}

// a + b, or false when the sum does not fit in 64 bits.
inline bool add_u64(std::uint64_t& a, std::uint64_t b) {
    if (b > UINT64_MAX - a) return false;
    a += b;
    return true;
}
// Adds `o` into `m` when no count overflows (then true); otherwise false and `m` unchanged.
inline bool add_confusion(ConfusionMatrix& m, const ConfusionMatrix& o) {
    ConfusionMatrix sum = m;
    if (!add_u64(sum.true_pos, o.true_pos) || !add_u64(sum.false_pos, o.false_pos) ||
        !add_u64(sum.true_neg, o.true_neg) || !add_u64(sum.false_neg, o.false_neg))
        return false;
    std::uint64_t total = sum.true_pos;
    if (!add_u64(total, sum.false_pos) || !add_u64(total, sum.true_neg) || !add_u64(total, sum.false_neg))
        return false;
    m = sum;
    return true;
}

}  // namespace state
}  // namespace tarvenn
