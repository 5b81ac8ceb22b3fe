#include "engine/rules.hpp"

#include <optional>
#include <string>

#include "python/conversions.hpp"
#include "python/exceptions.hpp"
#include "python/numpy_dtype.hpp"

namespace tarvenn::engine {
namespace {

bool bad_rule() {
    PyErr_SetString(PyExc_TypeError,
                    "a rule is (\"value\", label, continuous), (\"compare\", threshold, type) or (\"text\", label)");
    return false;
}

bool config_error() {
    PyErr_Clear();
    raise(BiasError::BiasConfigError);
    return false;
}

bool value_rule(PyArrayObject* array, PyObject* label, PyObject* continuous_obj, ColumnLabelsPtr& out) {
    std::optional<bool> continuous;
    if (continuous_obj != Py_None) {
        if (!PyBool_Check(continuous_obj)) return bad_rule();
        continuous = continuous_obj == Py_True;
    }
    return apply_label(array, label, continuous, out);
}

bool compare_rule(PyArrayObject* array, PyObject* threshold_obj, PyObject* type_obj, ColumnLabelsPtr& out) {
    double threshold;
    std::string type_text;
    if (!to_f64(threshold_obj, "threshold", threshold) || !to_str(type_obj, "type", type_text)) return config_error();
    const auto type = segmentation_threshold_type_from(type_text);
    if (!type) return config_error();
    if (PyArray_NDIM(array) != 1) return config_error();
    // Native numeric columns are compared in place; other arrays go through the
    // module's copy of their float items.
    if (visit_native(array, native_type(array),
                     [&](auto column) { out = compare_column(column, threshold, *type); }))
        return true;
    LabelSequence labels;
    if (!label_python_bias_explicit_seg(array, threshold, std::nullopt, type_text, labels)) return false;
    out = stored_labels(std::move(labels));
    return true;
}

bool text_rule(PyArrayObject* array, PyObject* label_obj, ColumnLabelsPtr& out) {
    std::string label;
    if (!to_str(label_obj, "label", label)) return config_error();
    LabelSequence labels;
    if (!label_python_bias_explicit_seg(array, std::nullopt, label, std::nullopt, labels)) return false;
    out = stored_labels(std::move(labels));
    return true;
}

}  // namespace

bool column_labels(PyObject* array_obj, const char* param, PyObject* rule, ColumnLabelsPtr& out) {
    PyArrayObject* array;
    if (!to_numpy_array(array_obj, param, array)) return false;
    if (!PyTuple_Check(rule) || PyTuple_GET_SIZE(rule) < 2) return bad_rule();
    PyObject* kind = PyTuple_GET_ITEM(rule, 0);
    const Py_ssize_t size = PyTuple_GET_SIZE(rule);
    if (!PyUnicode_Check(kind)) return bad_rule();
    if (PyUnicode_CompareWithASCIIString(kind, "value") == 0 && size == 3)
        return value_rule(array, PyTuple_GET_ITEM(rule, 1), PyTuple_GET_ITEM(rule, 2), out);
    if (PyUnicode_CompareWithASCIIString(kind, "compare") == 0 && size == 3)
        return compare_rule(array, PyTuple_GET_ITEM(rule, 1), PyTuple_GET_ITEM(rule, 2), out);
    if (PyUnicode_CompareWithASCIIString(kind, "text") == 0 && size == 2)
        return text_rule(array, PyTuple_GET_ITEM(rule, 1), out);
    return bad_rule();
}

}  // namespace tarvenn::engine
