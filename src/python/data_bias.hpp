// Python functions and class of the data bias family.
#pragma once

#include "python/py_class.hpp"

namespace tarvenn {

extern const FunctionBinding py_data_bias_analyzer_binding;
extern const FunctionBinding py_data_bias_runtime_check_binding;
extern const FunctionBinding py_data_bias_partial_check_binding;
extern const FunctionBinding py_data_bias_analyzer_explicit_seg_binding;

bool add_PyDataBiasStreaming(PyObject* module);

}  // namespace tarvenn
