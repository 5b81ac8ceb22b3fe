#include "segmentation/int8_counting.hpp"

#include <algorithm>
#include <cstddef>

#include "core/isa.hpp"

namespace tarvenn {
namespace {

using Range = Int8Segmentation::ByteRange;

// Byte lanes: each lane counts one of every kLanes samples in an 8-bit counter, so
// a block of 255 × kLanes samples cannot overflow it; the lanes are then added
// into the 64-bit totals.
constexpr std::size_t kLanes = 64;
constexpr std::size_t kBlock = 255 * kLanes;

[[gnu::always_inline]] inline std::uint8_t member(std::int8_t v, Range r) {
    const auto offset = static_cast<std::uint8_t>(static_cast<std::uint8_t>(v) - r.low);
    return static_cast<std::uint8_t>(offset <= r.span) & r.enabled;
}

template <std::size_t K>
[[gnu::always_inline]] inline void add_lanes(std::uint64_t* totals, const std::uint8_t (&lanes)[K][kLanes]) {
    for (std::size_t k = 0; k < K; ++k) {
        std::uint64_t sum = 0;
        for (std::size_t l = 0; l < kLanes; ++l) sum += lanes[k][l];
        totals[k] += sum;
    }
}

[[gnu::always_inline]] inline PairMembership pair_body(std::span<const std::int8_t> x, std::span<const std::int8_t> y,
                                                      const Int8Segmentation& xs, const Int8Segmentation& ys) {
    const Range rx = xs.byte_range(), ry = ys.byte_range();
    const std::size_t n = x.size();
    std::uint64_t totals[3] = {};
    auto count = [&](std::uint8_t (&lanes)[3][kLanes], std::size_t l, std::size_t i) __attribute__((always_inline)) {
        const std::uint8_t a = member(x[i], rx), b = member(y[i], ry);
        lanes[0][l] += a;
        lanes[1][l] += b;
        lanes[2][l] += a & b;
    };
    for (std::size_t begin = 0; begin < n; begin += kBlock) {
        const std::size_t end = std::min(n, begin + kBlock);
        std::uint8_t lanes[3][kLanes] = {};
        std::size_t i = begin;
        for (; i + kLanes <= end; i += kLanes)
            for (std::size_t l = 0; l < kLanes; ++l) count(lanes, l, i + l);
        for (std::size_t l = 0; i < end; ++i, ++l) count(lanes, l, i);
        add_lanes(totals, lanes);
    }
    return PairMembership{n, totals[0], totals[1], totals[2]};
}

[[gnu::always_inline]] inline TripleMembership triple_body(std::span<const std::int8_t> x,
                                                          std::span<const std::int8_t> y,
                                                          std::span<const std::int8_t> z, const Int8Segmentation& xs,
                                                          const Int8Segmentation& ys, const Int8Segmentation& zs) {
    const Range rx = xs.byte_range(), ry = ys.byte_range(), rz = zs.byte_range();
    const std::size_t n = x.size();
    std::uint64_t totals[7] = {};
    auto count = [&](std::uint8_t (&lanes)[7][kLanes], std::size_t l, std::size_t i) __attribute__((always_inline)) {
        const std::uint8_t a = member(x[i], rx), b = member(y[i], ry), c = member(z[i], rz);
        lanes[0][l] += a;
        lanes[1][l] += b;
        lanes[2][l] += c;
        lanes[3][l] += a & b;
        lanes[4][l] += a & c;
        lanes[5][l] += b & c;
        lanes[6][l] += a & b & c;
    };
    for (std::size_t begin = 0; begin < n; begin += kBlock) {
        const std::size_t end = std::min(n, begin + kBlock);
        std::uint8_t lanes[7][kLanes] = {};
        std::size_t i = begin;
        for (; i + kLanes <= end; i += kLanes)
            for (std::size_t l = 0; l < kLanes; ++l) count(lanes, l, i + l);
        for (std::size_t l = 0; i < end; ++i, ++l) count(lanes, l, i);
        add_lanes(totals, lanes);
    }
    return TripleMembership{n, totals[0], totals[1], totals[2], totals[3], totals[4], totals[5], totals[6]};
}

}  // namespace

PairMembership count_pair_membership(std::span<const std::int8_t> x, std::span<const std::int8_t> y,
                                     const Int8Segmentation& xs, const Int8Segmentation& ys) {
    return with_widest_isa([&]() __attribute__((always_inline)) { return pair_body(x, y, xs, ys); });
}

TripleMembership count_triple_membership(std::span<const std::int8_t> x, std::span<const std::int8_t> y,
                                         std::span<const std::int8_t> z, const Int8Segmentation& xs,
                                         const Int8Segmentation& ys, const Int8Segmentation& zs) {
    return with_widest_isa([&]() __attribute__((always_inline)) { return triple_body(x, y, z, xs, ys, zs); });
}

}  // namespace tarvenn
