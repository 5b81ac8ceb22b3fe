// Python functions and class of the model bias family.
#pragma once

#include "python/py_class.hpp"

namespace tarvenn {

extern const FunctionBinding py_model_bias_analyzer_binding;
extern const FunctionBinding py_model_bias_runtime_check_binding;
extern const FunctionBinding py_model_bias_partial_check_binding;
extern const FunctionBinding py_model_bias_analyzer_explicit_seg_binding;

bool add_PyModelBiasStreaming(PyObject* module);

}  // namespace tarvenn
