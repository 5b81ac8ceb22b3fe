// Conversions of scalar arguments into owned values. Every function returns false
// with a Python exception set when the argument does not convert; `param` names
// the parameter in the argument-prefixed TypeError ("argument 'param': ...").
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "python/python.hpp"

namespace tarvenn {

bool to_f32(PyObject* obj, const char* param, float& out);
bool to_f64(PyObject* obj, const char* param, double& out);
bool to_i8(PyObject* obj, const char* param, std::int8_t& out);
bool to_i32(PyObject* obj, const char* param, std::int32_t& out);
bool to_optional_f64(PyObject* obj, const char* param, std::optional<double>& out);  // None → empty
bool to_optional_f32(PyObject* obj, const char* param, std::optional<float>& out);   // None → empty
bool to_optional_u64(PyObject* obj, const char* param, std::optional<std::uint64_t>& out);
bool to_str(PyObject* obj, const char* param, std::string& out);  // UTF-8
bool to_optional_str(PyObject* obj, const char* param, std::optional<std::string>& out);

}  // namespace tarvenn
