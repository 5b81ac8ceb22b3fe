// Reads two equally long one-dimensional numeric arrays as 32-bit floats, block by
// block, without converting a whole copy first: each item goes through double,
// then is rounded to float.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <span>

#include "python/numpy_dtype.hpp"

namespace tarvenn {

inline constexpr std::size_t kF32Block = 4096;

using F32BlockReader = void (*)(const char* base, std::ptrdiff_t stride, std::size_t begin, std::size_t count,
                                float* out);

template <class T>
void read_f32_block(const char* base, std::ptrdiff_t stride, std::size_t begin, std::size_t count, float* out) {
    const char* p = base + static_cast<std::ptrdiff_t>(begin) * stride;
    if (stride == static_cast<std::ptrdiff_t>(sizeof(T))) {
        // Contiguous: a fixed stride lets the loop vectorise.
        for (std::size_t i = 0; i < count; ++i) {
            T v;
            std::memcpy(&v, p + i * sizeof(T), sizeof(T));
            out[i] = static_cast<float>(static_cast<double>(v));
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        T v;
        std::memcpy(&v, p + static_cast<std::ptrdiff_t>(i) * stride, sizeof(T));
        out[i] = static_cast<float>(static_cast<double>(v));
    }
}

// The reader of a native numeric dtype; nullptr for bool and non-native dtypes.
inline F32BlockReader f32_block_reader(NativeType type) {
    switch (type) {
        case NativeType::F64: return read_f32_block<double>;
        case NativeType::F32: return read_f32_block<float>;
        case NativeType::I8: return read_f32_block<std::int8_t>;
        case NativeType::I16: return read_f32_block<std::int16_t>;
        case NativeType::I32: return read_f32_block<std::int32_t>;
        case NativeType::I64: return read_f32_block<std::int64_t>;
        case NativeType::U8: return read_f32_block<std::uint8_t>;
        case NativeType::U16: return read_f32_block<std::uint16_t>;
        case NativeType::U32: return read_f32_block<std::uint32_t>;
        case NativeType::U64: return read_f32_block<std::uint64_t>;
        case NativeType::Bool:
        case NativeType::None: break;
    }
    return nullptr;
}

// A one-dimensional numeric array read as 32-bit floats (see arrays.hpp).
struct F32Column {
    F32BlockReader read = nullptr;
    const char* base = nullptr;
    std::ptrdiff_t stride = 0;
    std::size_t size = 0;
};

// Calls f(std::span<const float>, std::span<const float>) for consecutive blocks
// of the two columns, in index order. Both must be of the same length.
template <class F>
void for_each_f32_block_pair(const F32Column& a, const F32Column& b, F&& f) {
    float block_a[kF32Block], block_b[kF32Block];
    for (std::size_t begin = 0; begin < a.size; begin += kF32Block) {
        const std::size_t count = std::min(kF32Block, a.size - begin);
        a.read(a.base, a.stride, begin, count, block_a);
        b.read(b.base, b.stride, begin, count, block_b);
        f(std::span<const float>(block_a, count), std::span<const float>(block_b, count));
    }
}

}  // namespace tarvenn
