// The one mapping from error values to Python exceptions: every error raises the
// exception class its table row names, with its display text as the message, and
// `raise` returns nullptr.
#pragma once

#include <expected>

#include "core/errors.hpp"
#include "core/metric_errors.hpp"
#include "drift/baseline.hpp"
#include "python/python.hpp"

namespace tarvenn {

PyObject* raise(BiasError e);
PyObject* raise(DriftError e);
PyObject* raise(const InvalidMetricError& e);
PyObject* raise(DataBiasRuntimeError e);
PyObject* raise(ModelBiasRuntimeError e);
PyObject* raise(const ModelPerformanceError& e);
PyObject* raise(const drift::BaselineError& e);

// None after a success; after a failure its error, raised.
template <class E>
PyObject* none_or_raise(const std::expected<void, E>& done) {
    if (!done) return raise(done.error());
    Py_RETURN_NONE;
}

}  // namespace tarvenn
