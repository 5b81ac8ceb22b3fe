// A read-only view of n elements of type T spaced `stride` bytes apart. Loads go
// through memcpy, so unaligned buffers are read safely.
#pragma once

#include <cstddef>
#include <cstring>
#include <vector>

namespace tarvenn {

template <class T>
struct Strided {
    const char* base = nullptr;
    std::ptrdiff_t stride = sizeof(T);
    std::size_t size = 0;

    static Strided of(const std::vector<T>& v) {
        return {reinterpret_cast<const char*>(v.data()), static_cast<std::ptrdiff_t>(sizeof(T)), v.size()};
    }
    bool contiguous() const { return stride == static_cast<std::ptrdiff_t>(sizeof(T)); }

    // Calls f(i, value) for every element; the contiguous case has a constant
    // stride so that the compiler can vectorise the loop.
    template <class F>
    void for_each(F&& f) const {
        if (contiguous()) {
            for (std::size_t i = 0; i < size; ++i) {
                T value;
                std::memcpy(&value, base + i * sizeof(T), sizeof(T));
                f(i, value);
            }
        } else {
            for (std::size_t i = 0; i < size; ++i) f(i, (*this)[i]);
        }
    }

    T operator[](std::size_t i) const {
        T value;
        std::memcpy(&value, base + static_cast<std::ptrdiff_t>(i) * stride, sizeof(T));
        return value;
    }
};

}  // namespace tarvenn
