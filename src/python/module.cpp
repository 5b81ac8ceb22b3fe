// The module entry: registers the functions, then the classes, in their fixed order.
#define TARVENN_IMPORT_NUMPY
#include "python/python.hpp"

#include <vector>

#include "python/data_bias.hpp"
#include "python/drift.hpp"
#include "python/model_bias.hpp"
#include "python/model_perf.hpp"

namespace tarvenn {
namespace {

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "_tarvenn", "", -1, nullptr, nullptr, nullptr, nullptr, nullptr};

// Module functions in registration order.
const FunctionBinding* const kFunctions[] = {
    &py_data_bias_analyzer_binding,
    &py_data_bias_runtime_check_binding,
    &py_data_bias_partial_check_binding,
    &py_data_bias_analyzer_explicit_seg_binding,
    &py_model_bias_analyzer_binding,
    &py_model_bias_runtime_check_binding,
    &py_model_bias_partial_check_binding,
    &py_model_bias_analyzer_explicit_seg_binding,
    &py_model_perf_linear_regression_binding,
    &py_model_perf_class_rt_full_binding,
    &py_model_perf_class_rt_partial_binding,
    &py_model_perf_classification_binding,
    &py_model_perf_log_reg_rt_partial_binding,
    &py_model_perf_logistic_regression_binding,
    &py_model_perf_lin_reg_rt_full_binding,
    &py_model_perf_lin_reg_rt_partial_binding,
    &py_model_perf_log_reg_rt_full_binding,
    &py_compute_drift_categorical_distribtuion_binding,
    &py_compute_drift_continuous_distribtuion_binding,
};

// Classes in registration order.
bool (*const kClasses[])(PyObject*) = {
    add_PyCategoricalDataDrift,
    add_PyContinuousDataDrift,
    add_PyStreamingContinuousDataDriftFlush,
    add_PyStreamingContinuousDataDriftDecay,
    add_PyStreamingCategoricalDataDriftFlush,
    add_PyStreamingCategoricalDataDriftDecay,
    add_PyDataBiasStreaming,
    add_PyModelBiasStreaming,
    add_PyBinaryClassificationStreaming,
    add_PyLinearRegressionStreaming,
    add_PyLogisticRegressionStreaming,
};

PyObject* create_module() {
    if (PyArray_ImportNumPyAPI() < 0) return nullptr;
    PyObject* module = PyModule_Create(&module_def);
    if (module == nullptr) return nullptr;
    // Method definitions must outlive the function objects that point at them.
    static std::vector<PyMethodDef> methods;
    if (methods.empty()) {
        for (const auto* binding : kFunctions) methods.push_back(method_def(*binding));
        methods.push_back(PyMethodDef{nullptr, nullptr, 0, nullptr});
    }
    if (PyModule_AddFunctions(module, methods.data()) < 0) {
        Py_DECREF(module);
        return nullptr;
    }
    for (auto add : kClasses) {
        if (!add(module)) {
            Py_DECREF(module);
            return nullptr;
        }
    }
    return module;
}

}  // namespace
}  // namespace tarvenn

PyMODINIT_FUNC PyInit__tarvenn(void) { return tarvenn::guarded([] { return tarvenn::create_module(); }); }
