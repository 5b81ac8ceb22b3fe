// The positive test of the hard-label metrics, on raw numeric columns: a value is
// positive when, read as a 32-bit float (through double), it equals 1.0. For an
// integer type that is exactly v == 1, which vectorises without a conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/confusion_matrix.hpp"

namespace tarvenn {

// Marks out[i] = 1 for a positive value i of `count` values of T, `stride` bytes
// apart from `base`, and 0 otherwise.
using PositiveMarker = void (*)(const char* base, std::ptrdiff_t stride, std::size_t count, std::uint8_t* out);

// The marker of each numeric type (float, double, the signed and unsigned integers
// of 8 to 64 bits).
template <class T>
PositiveMarker positive_marker();

// The confusion counts of two marked blocks of equal length.
ConfusionMatrix count_marked(std::span<const std::uint8_t> actual, std::span<const std::uint8_t> predicted);

}  // namespace tarvenn
