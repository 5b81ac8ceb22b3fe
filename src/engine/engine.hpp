// The classes and functions of tarvenn._engine, one registration per file.
#pragma once

#include "python/callable.hpp"
#include "python/python.hpp"

namespace tarvenn::engine {

bool add_DataBiasCounts(PyObject* module);
bool add_ModelBiasCells(PyObject* module);
bool add_ClassificationCounts(PyObject* module);
bool add_LogisticCounts(PyObject* module);
bool add_RegressionSums(PyObject* module);
bool add_ContinuousBinCounts(PyObject* module);
bool add_CategoricalBinCounts(PyObject* module);
bool add_DistinctValues(PyObject* module);

extern const FunctionBinding continuous_distinct_count_binding;
extern const FunctionBinding element_kind_binding;
extern const FunctionBinding check_drift_measures_binding;
extern const FunctionBinding bins_from_detector_binding;

}  // namespace tarvenn::engine
