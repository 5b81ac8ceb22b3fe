// The one mapping from error values to Python exceptions: each overload sets the
// exception of its variant, with the display text as message, and returns nullptr.
#pragma once

#include <expected>

#include "core/errors.hpp"
#include "python/python.hpp"

namespace tarvenn {

PyObject* raise(BiasError e);
PyObject* raise(DriftError e);
PyObject* raise(const InvalidMetricError& e);
PyObject* raise(DataBiasRuntimeError e);
PyObject* raise(ModelBiasRuntimeError e);
PyObject* raise(const ModelPerformanceError& e);

// None after a success; after a failure its error, raised.
template <class E>
PyObject* none_or_raise(const std::expected<void, E>& done) {
    if (!done) return raise(done.error());
    Py_RETURN_NONE;
}

}  // namespace tarvenn
