// Dispatch over the native numeric dtypes of a one-dimensional NumPy array, so
// that its buffer is read directly with any stride and alignment.
#pragma once

#include <cstdint>

#include "core/strided.hpp"
#include "python/python.hpp"

namespace tarvenn {

enum class NativeType : std::uint8_t { F64, F32, I8, I16, I32, I64, U8, U16, U32, U64, Bool, None };

// The native dtype the array's dtype is equivalent to (byte order included), or None.
NativeType native_type(PyArrayObject* array);

bool is_integer(NativeType t);

template <class T>
Strided<T> strided_of(PyArrayObject* array) {
    return {static_cast<const char*>(PyArray_DATA(array)), PyArray_STRIDE(array, 0),
            static_cast<std::size_t>(PyArray_DIM(array, 0))};
}

// Calls f(Strided<T>) with T the array's element type; bool arrays are read as
// uint8 values. Returns false (calling nothing) for NativeType::None.
template <class F>
bool visit_native(PyArrayObject* array, NativeType type, F&& f) {
    switch (type) {
        case NativeType::F64: f(strided_of<double>(array)); return true;
        case NativeType::F32: f(strided_of<float>(array)); return true;
        case NativeType::I8: f(strided_of<std::int8_t>(array)); return true;
        case NativeType::I16: f(strided_of<std::int16_t>(array)); return true;
        case NativeType::I32: f(strided_of<std::int32_t>(array)); return true;
        case NativeType::I64: f(strided_of<std::int64_t>(array)); return true;
        case NativeType::U8: f(strided_of<std::uint8_t>(array)); return true;
        case NativeType::U16: f(strided_of<std::uint16_t>(array)); return true;
        case NativeType::U32: f(strided_of<std::uint32_t>(array)); return true;
        case NativeType::U64: f(strided_of<std::uint64_t>(array)); return true;
        case NativeType::Bool: f(strided_of<std::uint8_t>(array)); return true;
        case NativeType::None: break;
    }
    return false;
}

}  // namespace tarvenn
