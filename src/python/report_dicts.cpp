#include "python/report_dicts.hpp"

namespace tarvenn {

bool dict_set_float(PyObject* dict, std::string_view key, double value) {
    PyRef k(PyUnicode_FromStringAndSize(key.data(), static_cast<Py_ssize_t>(key.size())));
    PyRef v(PyFloat_FromDouble(value));
    return k && v && PyDict_SetItem(dict, k.get(), v.get()) == 0;
}

PyObject* metric_entry_dict(std::string_view name, float drift) {
    PyRef entry(PyDict_New());
    PyRef metric(PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size())));
    if (!entry || !metric || PyDict_SetItemString(entry.get(), "metric", metric.get()) < 0 ||
        !dict_set_float(entry.get(), "drift", drift))
        return nullptr;
    return entry.release();
}

}  // namespace tarvenn
