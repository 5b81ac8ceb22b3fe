// Python dict forms of metric maps ({name: value}) and of drift reports
// ({"passed": ..., "failed_report": [{"metric": ..., "drift": ...}, ...]}).
#pragma once

#include "python/py_ref.hpp"
#include "core/metrics.hpp"
#include "core/drift_report.hpp"

namespace tarvenn {

PyObject* metric_entry_dict(std::string_view name, float drift);
bool dict_set_float(PyObject* dict, std::string_view key, double value);

template <class M>
PyObject* report_to_py_dict(const MetricMap<M>& metrics) {
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    bool ok = true;
    metrics.for_each([&](M m, float v) { ok = ok && dict_set_float(dict.get(), metric_name(m), v); });
    return ok ? dict.release() : nullptr;
}

template <class M>
PyObject* into_py_dict(const DriftReport<M>& report) {
    PyRef dict(PyDict_New());
    if (!dict || PyDict_SetItemString(dict.get(), "passed", report.passed ? Py_True : Py_False) < 0)
        return nullptr;
    if (report.passed) return dict.release();
    PyRef list(PyList_New(0));
    if (!list) return nullptr;
    for (const auto& [metric, drift] : *report.failed_report) {
        PyRef entry(metric_entry_dict(metric_name(metric), drift));
        if (!entry || PyList_Append(list.get(), entry.get()) < 0) return nullptr;
    }
    if (PyDict_SetItemString(dict.get(), "failed_report", list.get()) < 0) return nullptr;
    return dict.release();
}

}  // namespace tarvenn
