// Conversions of sequence and dict arguments into owned vectors: any sequence but
// a str, with NumPy arrays of the native numeric dtypes read from their buffer.
// Every function returns false with a Python exception set when the argument does
// not convert; `param` names the parameter in the argument-prefixed TypeError.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/metrics.hpp"
#include "python/python.hpp"

namespace tarvenn {

bool to_i8_seq(PyObject* obj, const char* param, std::vector<std::int8_t>& out);
// The same values as to_i8_seq / to_i32_seq, read in place when `obj` is a
// contiguous one-dimensional array of exactly that integer type (`out` then views
// its buffer, valid while `obj` is alive and no Python code runs), else converted
// into `storage`.
bool i8_samples(PyObject* obj, const char* param, std::vector<std::int8_t>& storage,
                std::span<const std::int8_t>& out);
bool i32_samples(PyObject* obj, const char* param, std::vector<std::int32_t>& storage,
                 std::span<const std::int32_t>& out);
bool to_i32_seq(PyObject* obj, const char* param, std::vector<std::int32_t>& out);
bool to_f32_seq(PyObject* obj, const char* param, std::vector<float>& out);
bool to_text_seq(PyObject* obj, const char* param, std::vector<std::string>& out);  // UTF-8 items
bool to_metric_value_map(PyObject* obj, const char* param, NameMap& out);

}  // namespace tarvenn
