// Python functions and classes of the data drift family.
#pragma once

#include "python/py_class.hpp"

namespace tarvenn {

extern const FunctionBinding py_compute_drift_categorical_distribtuion_binding;
extern const FunctionBinding py_compute_drift_continuous_distribtuion_binding;

bool add_PyCategoricalDataDrift(PyObject* module);
bool add_PyContinuousDataDrift(PyObject* module);
bool add_PyStreamingContinuousDataDriftFlush(PyObject* module);
bool add_PyStreamingContinuousDataDriftDecay(PyObject* module);
bool add_PyStreamingCategoricalDataDriftFlush(PyObject* module);
bool add_PyStreamingCategoricalDataDriftDecay(PyObject* module);

}  // namespace tarvenn
