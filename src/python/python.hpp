// The one include for binding code: CPython and NumPy's C API. The NumPy API table
// is imported once, in module.cpp, which defines TARVENN_IMPORT_NUMPY first.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#define PY_ARRAY_UNIQUE_SYMBOL tarvenn_ARRAY_API
#ifndef TARVENN_IMPORT_NUMPY
#define NO_IMPORT_ARRAY
#endif
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/arrayobject.h>
