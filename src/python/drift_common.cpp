#include "python/drift_common.hpp"

#include "python/conversions.hpp"
#include "python/exceptions.hpp"
#include "python/py_ref.hpp"

namespace tarvenn {

bool coerce_quantile_type(const std::optional<std::string>& text, std::optional<drift::QuantileType>& out) {
    if (!text) {
        out.reset();
        return true;
    }
    auto rule = drift::parse_quantile_type(*text);
    if (!rule) return raise(rule.error()) != nullptr;
    out = *rule;
    return true;
}

bool parse_drift_type_arg(const std::string& text, drift::DataDriftType& out) {
    auto type = drift::parse_drift_type(text);
    if (!type) return raise(type.error()) != nullptr;
    out = *type;
    return true;
}

bool parse_drift_types_arg(const std::vector<std::string>& texts, std::vector<drift::DataDriftType>& out) {
    auto types = drift::parse_drift_types(texts);
    if (!types) return raise(types.error()) != nullptr;
    out = std::move(*types);
    return true;
}

bool read_values(PyArrayObject* array, F64Values& out) { return read_f64_view(array, out.data, out.storage); }

PyObject* float_list(std::span<const double> values) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(values.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyObject* item = PyFloat_FromDouble(values[i]);
        if (item == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

PyObject* label_dict(const drift::LabelIndex& labels, std::span<const double> values) {
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const std::string_view label = labels.label(i);
        PyRef key(PyUnicode_FromStringAndSize(label.data(), static_cast<Py_ssize_t>(label.size())));
        PyRef value(PyFloat_FromDouble(values[i]));
        if (!key || !value || PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) return nullptr;
    }
    return dict.release();
}

}  // namespace tarvenn
