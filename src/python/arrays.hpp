// NumPy array arguments: the array itself, a float64 view of its data, and the
// float32 block reader of the model performance functions. Every function returns
// false with a Python exception set on failure.
#pragma once

#include <span>
#include <vector>

#include "python/f32_blocks.hpp"
#include "python/python.hpp"

namespace tarvenn {

// Any NumPy array (borrowed).
bool to_numpy_array(PyObject* obj, const char* param, PyArrayObject*& out);
// A one-dimensional float64 array (borrowed); its data is read with read_f64_view.
bool to_f64_array_view(PyObject* obj, const char* param, PyArrayObject*& out);
// Reads a float64 view: TypeError "The given array is not contiguous" unless the
// data is contiguous. `data` points into the array or, when it is unaligned, into
// `storage`. Valid while the array lives and no Python code runs.
bool read_f64_view(PyArrayObject* array, std::span<const double>& data, std::vector<double>& storage);

// The array read as 32-bit floats, classified once: float and integer dtypes
// convert; bool and other dtypes fail with UnsupportedTypeError, other shapes than
// one dimension with a TypeError.
bool to_f32_column(PyArrayObject* array, F32Column& out);
// `obj` as a column when it is a one-dimensional array that to_f32_column reads;
// false, with no exception set, for anything else.
bool as_f32_column(PyObject* obj, F32Column& out);

}  // namespace tarvenn
