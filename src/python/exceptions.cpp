#include "python/exceptions.hpp"

#include <string>
#include <string_view>

namespace tarvenn {
namespace {

PyObject* set(PyObject* type, std::string_view text) {
    PyObject* message = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    if (message == nullptr) return nullptr;
    PyErr_SetObject(type, message);
    Py_DECREF(message);
    return nullptr;
}

enum class Py : std::uint8_t { ValueError, TypeError, SystemError };

PyObject* exception_class(Py c) {
    switch (c) {
        case Py::ValueError: return PyExc_ValueError;
        case Py::TypeError: return PyExc_TypeError;
        case Py::SystemError: return PyExc_SystemError;
    }
    return PyExc_SystemError;
}

// The table: the exception class of every error, by variant where it varies.
Py class_of(BiasError) { return Py::ValueError; }
Py class_of(const InvalidMetricError&) { return Py::ValueError; }
Py class_of(DataBiasRuntimeError) { return Py::ValueError; }
Py class_of(ModelBiasRuntimeError) { return Py::ValueError; }
Py class_of(const drift::TooManyBins&) { return Py::ValueError; }

Py class_of(DriftError e) {
    // Internal faults (a broken timestamp or bin table) are not the caller's.
    const bool internal = e == DriftError::TimestampConversion || e == DriftError::MalformedRuntimeBins;
    return internal ? Py::SystemError : Py::ValueError;
}

Py class_of(const ModelPerformanceError& e) {
    // Empty or unequal inputs and incomplete reports are bad values; the rest are
    // bad types (the Bias kind included).
    using K = ModelPerformanceError::Kind;
    const bool value = e.kind == K::EmptyDataVector || e.kind == K::DataVectorLengthMismatch ||
                       e.kind == K::InvalidAnalysisReport;
    return value ? Py::ValueError : Py::TypeError;
}

template <class E>
PyObject* raise_row(const E& e) {
    return set(exception_class(class_of(e)), display(e));
}

}  // namespace

PyObject* raise(BiasError e) { return raise_row(e); }
PyObject* raise(DriftError e) { return raise_row(e); }
PyObject* raise(const InvalidMetricError& e) { return raise_row(e); }
PyObject* raise(DataBiasRuntimeError e) { return raise_row(e); }
PyObject* raise(ModelBiasRuntimeError e) { return raise_row(e); }
PyObject* raise(const ModelPerformanceError& e) { return raise_row(e); }
PyObject* raise(const drift::BaselineError& e) {
    return std::visit([](const auto& error) { return raise_row(error); }, e);
}

}  // namespace tarvenn
