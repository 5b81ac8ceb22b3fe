#include "python/arrays.hpp"

#include "python/callable.hpp"
#include "python/exceptions.hpp"
#include "python/numpy_dtype.hpp"
#include "python/py_ref.hpp"
#include "python/read_items.hpp"

namespace tarvenn {

bool to_numpy_array(PyObject* obj, const char* param, PyArrayObject*& out) {
    if (!PyArray_Check(obj)) {
        items::type_error("a NumPy array", obj);
        return arg_conversion_failed(param);
    }
    out = reinterpret_cast<PyArrayObject*>(obj);
    return true;
}

bool to_f64_array_view(PyObject* obj, const char* param, PyArrayObject*& out) {
    auto* array = reinterpret_cast<PyArrayObject*>(obj);
    if (!PyArray_Check(obj) || PyArray_NDIM(array) != 1 || native_type(array) != NativeType::F64) {
        if (PyArray_Check(obj)) {
            PyRef dtype(PyObject_Str(reinterpret_cast<PyObject*>(PyArray_DESCR(array))));
            PyErr_Format(PyExc_TypeError,
                         "expected a one-dimensional float64 NumPy array, got a %d-dimensional array of dtype %S",
                         PyArray_NDIM(array), dtype ? dtype.get() : Py_None);
        } else {
            items::type_error("a one-dimensional float64 NumPy array", obj);
        }
        return arg_conversion_failed(param);
    }
    out = array;
    return true;
}

bool read_f64_view(PyArrayObject* array, std::span<const double>& data, std::vector<double>& storage) {
    if (!PyArray_IS_C_CONTIGUOUS(array) && !PyArray_IS_F_CONTIGUOUS(array)) {
        PyErr_SetString(PyExc_TypeError, "The given array is not contiguous");
        return false;
    }
    const auto n = static_cast<std::size_t>(PyArray_DIM(array, 0));
    if (PyArray_ISALIGNED(array)) {
        data = {static_cast<const double*>(PyArray_DATA(array)), n};
        return true;
    }
    const auto column = strided_of<double>(array);
    storage.resize(n);
    for (std::size_t i = 0; i < n; ++i) storage[i] = column[i];
    data = storage;
    return true;
}

namespace {

F32Column f32_column_of(PyArrayObject* array, F32BlockReader read) {
    return {read, static_cast<const char*>(PyArray_DATA(array)), PyArray_STRIDE(array, 0),
            static_cast<std::size_t>(PyArray_DIM(array, 0))};
}

}  // namespace

bool to_f32_column(PyArrayObject* array, F32Column& out) {
    const F32BlockReader read = f32_block_reader(native_type(array));
    if (read == nullptr)
        return raise(ModelPerformanceError::of(ModelPerformanceError::Kind::UnsupportedTypeError)) != nullptr;
    if (!items::require_1d(array)) return false;
    out = f32_column_of(array, read);
    return true;
}

bool as_f32_column(PyObject* obj, F32Column& out) {
    if (!PyArray_Check(obj)) return false;
    auto* array = reinterpret_cast<PyArrayObject*>(obj);
    const F32BlockReader read = f32_block_reader(native_type(array));
    if (read == nullptr || PyArray_NDIM(array) != 1) return false;
    out = f32_column_of(array, read);
    return true;
}

}  // namespace tarvenn
