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

template <class T>
void mark_positives(const char* base, std::ptrdiff_t stride, std::size_t count, std::uint8_t* out) {
    with_widest_isa([&]() __attribute__((always_inline)) { mark_body<T>(base, stride, count, out); });
}

[[gnu::always_inline]] inline ConfusionMatrix count_body(std::span<const std::uint8_t> actual,
                                                        std::span<const std::uint8_t> predicted) {
    return ConfusionMatrix::count_pairs(actual.size(), [&](std::size_t i) { return actual[i]; },
                                        [&](std::size_t i) { return predicted[i]; });
}

}  // namespace

template <> PositiveMarker positive_marker<float>() { return mark_positives<float>; }
template <> PositiveMarker positive_marker<double>() { return mark_positives<double>; }
template <> PositiveMarker positive_marker<std::int8_t>() { return mark_positives<std::int8_t>; }
template <> PositiveMarker positive_marker<std::int16_t>() { return mark_positives<std::int16_t>; }
template <> PositiveMarker positive_marker<std::int32_t>() { return mark_positives<std::int32_t>; }
template <> PositiveMarker positive_marker<std::int64_t>() { return mark_positives<std::int64_t>; }
template <> PositiveMarker positive_marker<std::uint8_t>() { return mark_positives<std::uint8_t>; }
template <> PositiveMarker positive_marker<std::uint16_t>() { return mark_positives<std::uint16_t>; }
template <> PositiveMarker positive_marker<std::uint32_t>() { return mark_positives<std::uint32_t>; }
template <> PositiveMarker positive_marker<std::uint64_t>() { return mark_positives<std::uint64_t>; }

ConfusionMatrix count_marked(std::span<const std::uint8_t> actual, std::span<const std::uint8_t> predicted) {
    return with_widest_isa([&]() __attribute__((always_inline)) { return count_body(actual, predicted); });
}

}  // namespace tarvenn
