#include "model_perf/hard_labels.hpp"

#include <cstring>
#include <type_traits>

#include "core/isa.hpp"

namespace tarvenn {
namespace {

template <class T>
[[gnu::always_inline]] inline std::uint8_t is_positive(T v) {
    if constexpr (std::is_integral_v<T>) {
        return v == 1;
    } else {
        return static_cast<float>(static_cast<double>(v)) == 1.0f;
    }
}

template <class T>
[[gnu::always_inline]] inline void mark_body(const char* base, std::ptrdiff_t stride, std::size_t count,
                                             std::uint8_t* out) {
    if (stride == static_cast<std::ptrdiff_t>(sizeof(T))) {
        for (std::size_t i = 0; i < count; ++i) {
            T v;
            std::memcpy(&v, base + i * sizeof(T), sizeof(T));
            out[i] = is_positive(v);
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        T v;
        std::memcpy(&v, base + static_cast<std::ptrdiff_t>(i) * stride, sizeof(T));
        out[i] = is_positive(v);
    }
}

#define TARVENN_MARKER(T, name)                                                                           \
    TARVENN_ISA_VARIANTS(void, name, (const char* base, std::ptrdiff_t stride, std::size_t count,        \
                                      std::uint8_t* out),                                                 \
                         (base, stride, count, out), mark_body<T>)

TARVENN_MARKER(float, mark_f32)
TARVENN_MARKER(double, mark_f64)
TARVENN_MARKER(std::int8_t, mark_i8)
TARVENN_MARKER(std::int16_t, mark_i16)
TARVENN_MARKER(std::int32_t, mark_i32)
TARVENN_MARKER(std::int64_t, mark_i64)
TARVENN_MARKER(std::uint8_t, mark_u8)
TARVENN_MARKER(std::uint16_t, mark_u16)
TARVENN_MARKER(std::uint32_t, mark_u32)
TARVENN_MARKER(std::uint64_t, mark_u64)

#undef TARVENN_MARKER

[[gnu::always_inline]] inline ConfusionMatrix count_body(std::span<const std::uint8_t> actual,
                                                        std::span<const std::uint8_t> predicted) {
    return ConfusionMatrix::count_pairs(actual.size(), [&](std::size_t i) { return actual[i]; },
                                        [&](std::size_t i) { return predicted[i]; });
}

}  // namespace

template <> PositiveMarker positive_marker<float>() { return mark_f32; }
template <> PositiveMarker positive_marker<double>() { return mark_f64; }
template <> PositiveMarker positive_marker<std::int8_t>() { return mark_i8; }
template <> PositiveMarker positive_marker<std::int16_t>() { return mark_i16; }
template <> PositiveMarker positive_marker<std::int32_t>() { return mark_i32; }
template <> PositiveMarker positive_marker<std::int64_t>() { return mark_i64; }
template <> PositiveMarker positive_marker<std::uint8_t>() { return mark_u8; }
template <> PositiveMarker positive_marker<std::uint16_t>() { return mark_u16; }
template <> PositiveMarker positive_marker<std::uint32_t>() { return mark_u32; }
template <> PositiveMarker positive_marker<std::uint64_t>() { return mark_u64; }

TARVENN_ISA_VARIANTS(ConfusionMatrix, count_marked,
                     (std::span<const std::uint8_t> actual, std::span<const std::uint8_t> predicted),
                     (actual, predicted), count_body)

}  // namespace tarvenn
