// Small readers shared by the conversion files: the item protocols, the
// iteration over sequence and array items, and the common TypeErrors. Every
// function returns false with a Python exception set on failure.
#pragma once

#include <cstddef>
#include <limits>
#include <string>

#include "python/py_ref.hpp"
#include "python/python.hpp"

namespace tarvenn::items {

inline const char* type_name(PyObject* obj) { return Py_TYPE(obj)->tp_name; }

inline bool type_error(const char* expected, PyObject* got) {
    PyErr_Format(PyExc_TypeError, "expected %s, got '%s'", expected, type_name(got));
    return false;
}

// Items are read along the first axis; only one-dimensional arrays are columns.
inline bool require_1d(PyArrayObject* array) {
    if (PyArray_NDIM(array) == 1) return true;
    PyErr_Format(PyExc_TypeError, "expected a one-dimensional array, got a %d-dimensional array",
                 PyArray_NDIM(array));
    return false;
}

inline bool read_double(PyObject* item, double& out) {
    out = PyFloat_AsDouble(item);
    return !(out == -1.0 && PyErr_Occurred());
}

inline bool read_int64(PyObject* item, long long& out) {
    out = PyLong_AsLongLong(item);
    return !(out == -1 && PyErr_Occurred());
}

inline bool str_to_utf8(PyObject* item, std::string& out) {
    Py_ssize_t size;
    const char* data = PyUnicode_AsUTF8AndSize(item, &size);
    if (data == nullptr) return false;
    out.assign(data, static_cast<std::size_t>(size));
    return true;
}

template <class Int>
bool int_in_range(long long v) {
    if (v < std::numeric_limits<Int>::min() || v > std::numeric_limits<Int>::max()) {
        PyErr_Format(PyExc_OverflowError, "value %lld is out of range for a signed %d-bit integer", v,
                     static_cast<int>(8 * sizeof(Int)));
        return false;
    }
    return true;
}

// Calls f(PyObject* item) for each item of a 1-D array through the Python
// protocol (for dtypes that are not read from the buffer); stops when f fails.
template <class F>
bool for_each_array_item(PyArrayObject* array, F&& f) {
    const npy_intp n = PyArray_DIM(array, 0);
    for (npy_intp i = 0; i < n; ++i) {
        PyRef item(PyArray_GETITEM(array, static_cast<const char*>(PyArray_GETPTR1(array, i))));
        if (!item || !f(item.get())) return false;
    }
    return true;
}

// Calls f(PyObject* item) for each item of a sequence, holding a reference to the
// item while f runs (f may run user code that mutates the sequence).
template <class F>
bool for_each_seq_item(PyObject* seq_obj, std::size_t& reserve_hint, F&& f) {
    PyRef seq(PySequence_Fast(seq_obj, "expected a sequence"));
    if (!seq) return false;
    reserve_hint = static_cast<std::size_t>(PySequence_Fast_GET_SIZE(seq.get()));
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(seq.get()); ++i) {
        PyRef item = PyRef::borrow(PySequence_Fast_GET_ITEM(seq.get(), i));
        if (!f(item.get())) return false;
    }
    return true;
}

}  // namespace tarvenn::items
