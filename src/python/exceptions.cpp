#include "python/exceptions.hpp"

#include <string>

namespace tarvenn {
namespace {

PyObject* set(PyObject* type, std::string_view text) {
    PyObject* message = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    if (message == nullptr) return nullptr;
    PyErr_SetObject(type, message);
    Py_DECREF(message);
    return nullptr;
}

}  // namespace

PyObject* raise(BiasError e) { return set(PyExc_ValueError, display(e)); }

PyObject* raise(DriftError e) {
    const bool internal = e == DriftError::TimestampConversion || e == DriftError::MalformedRuntimeBins;
    return set(internal ? PyExc_SystemError : PyExc_ValueError, display(e));
}

PyObject* raise(const InvalidMetricError& e) { return set(PyExc_ValueError, display(e)); }
PyObject* raise(DataBiasRuntimeError e) { return set(PyExc_ValueError, display(e)); }
PyObject* raise(ModelBiasRuntimeError e) { return set(PyExc_ValueError, display(e)); }

PyObject* raise(const ModelPerformanceError& e) {
    using K = ModelPerformanceError::Kind;
    switch (e.kind) {
        case K::EmptyDataVector:
        case K::DataVectorLengthMismatch:
        case K::InvalidAnalysisReport:
            return set(PyExc_ValueError, display(e));
        case K::InvalidData:
        case K::Bias:
        case K::DataVectorTypeMismatch:
        case K::UnsupportedTypeError:
            break;
    }
    return set(PyExc_TypeError, display(e));
}

}  // namespace tarvenn
