// Joint membership counts of 8-bit sample columns, each column under its own
// segmentation: one pass over the columns, vectorised, with no per-sample branch.
#pragma once

#include <cstdint>
#include <span>

#include "segmentation/int8_segmentation.hpp"

namespace tarvenn {

// Rows, members of each column and members of both.
struct PairMembership {
    std::uint64_t rows = 0;
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    std::uint64_t both = 0;
};

// Rows and members of every combination of three columns (a, b, c).
struct TripleMembership {
    std::uint64_t rows = 0;
    std::uint64_t a = 0, b = 0, c = 0;
    std::uint64_t ab = 0, ac = 0, bc = 0;
    std::uint64_t abc = 0;
};

// Columns of equal length; the caller checks it.
PairMembership count_pair_membership(std::span<const std::int8_t> first, std::span<const std::int8_t> second,
                                     const Int8Segmentation& first_seg, const Int8Segmentation& second_seg);
TripleMembership count_triple_membership(std::span<const std::int8_t> a, std::span<const std::int8_t> b,
                                         std::span<const std::int8_t> c, const Int8Segmentation& a_seg,
                                         const Int8Segmentation& b_seg, const Int8Segmentation& c_seg);

}  // namespace tarvenn
