#include "python/scalars.hpp"

#include "python/callable.hpp"
#include "python/py_ref.hpp"
#include "python/read_items.hpp"

namespace tarvenn {

bool to_f64(PyObject* obj, const char* param, double& out) {
    double v = 0.0;
    if (!items::read_double(obj, v)) return arg_conversion_failed(param);
    out = v;
    return true;
}

bool to_f32(PyObject* obj, const char* param, float& out) {
    double v = 0.0;
    if (!to_f64(obj, param, v)) return false;
    out = static_cast<float>(v);
    return true;
}

bool to_i8(PyObject* obj, const char* param, std::int8_t& out) {
    long long v = 0;
    if (!items::read_int64(obj, v) || !items::int_in_range<std::int8_t>(v)) return arg_conversion_failed(param);
    out = static_cast<std::int8_t>(v);
    return true;
}

bool to_i32(PyObject* obj, const char* param, std::int32_t& out) {
    long long v = 0;
    if (!items::read_int64(obj, v) || !items::int_in_range<std::int32_t>(v)) return arg_conversion_failed(param);
    out = static_cast<std::int32_t>(v);
    return true;
}

bool to_optional_f64(PyObject* obj, const char* param, std::optional<double>& out) {
    if (obj == Py_None) {
        out.reset();
        return true;
    }
    double v = 0.0;
    if (!to_f64(obj, param, v)) return false;
    out = v;
    return true;
}

bool to_optional_f32(PyObject* obj, const char* param, std::optional<float>& out) {
    std::optional<double> v;
    if (!to_optional_f64(obj, param, v)) return false;
    out = v ? std::optional<float>(static_cast<float>(*v)) : std::nullopt;
    return true;
}

bool to_optional_u64(PyObject* obj, const char* param, std::optional<std::uint64_t>& out) {
    if (obj == Py_None) {
        out.reset();
        return true;
    }
    PyRef index(PyNumber_Index(obj));
    if (!index) return arg_conversion_failed(param);
    const unsigned long long v = PyLong_AsUnsignedLongLong(index.get());
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return arg_conversion_failed(param);
    out = v;
    return true;
}

bool to_str(PyObject* obj, const char* param, std::string& out) {
    if (!PyUnicode_Check(obj)) {
        items::type_error("a string", obj);
        return arg_conversion_failed(param);
    }
    if (!items::str_to_utf8(obj, out)) return arg_conversion_failed(param);
    return true;
}

bool to_optional_str(PyObject* obj, const char* param, std::optional<std::string>& out) {
    if (obj == Py_None) {
        out.reset();
        return true;
    }
    std::string s;
    if (!to_str(obj, param, s)) return false;
    out = std::move(s);
    return true;
}

}  // namespace tarvenn
