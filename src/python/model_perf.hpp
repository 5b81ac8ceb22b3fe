// Python functions and classes of the model performance family.
#pragma once

#include "python/py_class.hpp"

namespace tarvenn {

extern const FunctionBinding py_model_perf_linear_regression_binding;
extern const FunctionBinding py_model_perf_class_rt_full_binding;
extern const FunctionBinding py_model_perf_class_rt_partial_binding;
extern const FunctionBinding py_model_perf_classification_binding;
extern const FunctionBinding py_model_perf_log_reg_rt_partial_binding;
extern const FunctionBinding py_model_perf_logistic_regression_binding;
extern const FunctionBinding py_model_perf_lin_reg_rt_full_binding;
extern const FunctionBinding py_model_perf_lin_reg_rt_partial_binding;
extern const FunctionBinding py_model_perf_log_reg_rt_full_binding;

bool add_PyBinaryClassificationStreaming(PyObject* module);
bool add_PyLinearRegressionStreaming(PyObject* module);
bool add_PyLogisticRegressionStreaming(PyObject* module);

}  // namespace tarvenn
