// The entry of tarvenn._engine: mergeable accumulators of the metric families,
// for computing over a data set split into partitions.
#define TARVENN_IMPORT_NUMPY
#include "python/python.hpp"

#include <vector>

#include "engine/engine.hpp"
#include "engine/state.hpp"

namespace tarvenn::engine {
namespace {

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "tarvenn._engine", "", -1, nullptr, nullptr, nullptr, nullptr, nullptr};

const FunctionBinding* const kFunctions[] = {
    &continuous_distinct_count_binding,
    &element_kind_binding,
    &check_drift_measures_binding,
    &load_binding,
    &bins_from_detector_binding,
};

bool (*const kClasses[])(PyObject*) = {
    add_DataBiasCounts,   add_ModelBiasCells,      add_ClassificationCounts, add_LogisticCounts,
    add_RegressionSums,   add_ContinuousBinCounts, add_CategoricalBinCounts, add_DistinctValues,
};

PyObject* create_module() {
    if (PyArray_ImportNumPyAPI() < 0) return nullptr;
    PyObject* module = PyModule_Create(&module_def);
    if (module == nullptr) return nullptr;
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
}  // namespace tarvenn::engine

PyMODINIT_FUNC PyInit__engine(void) { return tarvenn::guarded([] { return tarvenn::engine::create_module(); }); }
