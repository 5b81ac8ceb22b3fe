// The methods that the streaming bias and performance monitors share: flush,
// performance_snapshot, drift_snapshot, drift_report and
// drift_report_partial_metrics, written once over the class traits `C`:
//   C::name   the Python class name
//   C::Core   the core, with a `Metric` type, flush(), performance_snapshot() and
//             drift_snapshot() (a MetricMap or an error), drift_report(float) and
//             drift_report_partial_metrics(metrics, float) (a DriftReport or an error)
//   C::parse  optional: the parser of a metric list with rules of its own; the
//             default is parse_metric_list<Core::Metric>
#pragma once

#include <string>
#include <vector>

#include "python/conversions.hpp"
#include "python/exceptions.hpp"
#include "python/py_class.hpp"
#include "python/report_dicts.hpp"

namespace tarvenn::monitor_methods {

template <class C>
auto parse_metrics(const std::vector<std::string>& names) {
    if constexpr (requires { C::parse(names); })
        return C::parse(names);
    else
        return parse_metric_list<typename C::Core::Metric>(names);
}

// A MetricMap or DriftReport result as its dict, or its error raised.
template <class Result>
PyObject* result_dict(const Result& result) {
    if (!result) return raise(result.error());
    if constexpr (requires { result->passed; })
        return into_py_dict(*result);
    else
        return report_to_py_dict(*result);
}

template <class C>
inline constexpr Signature kFlush{C::name, "flush", {}, 0};
template <class C>
inline constexpr Signature kPerformance{C::name, "performance_snapshot", {}, 0};
template <class C>
inline constexpr Signature kDriftSnapshot{C::name, "drift_snapshot", {}, 0};
template <class C>
inline constexpr Signature kDriftReport{C::name, "drift_report", {"drift_threshold"}, 1};
template <class C>
inline constexpr Signature kDriftReportPartial{
    C::name, "drift_report_partial_metrics", {"metrics", "drift_threshold"}, 2};

template <class C>
PyObject* flush_body(PyObject* self, PyObject* const*) {
    core_of<typename C::Core>(self).flush();
    Py_RETURN_NONE;
}

template <class C>
PyObject* performance_body(PyObject* self, PyObject* const*) {
    return result_dict(core_of<typename C::Core>(self).performance_snapshot());
}

template <class C>
PyObject* drift_snapshot_body(PyObject* self, PyObject* const*) {
    return result_dict(core_of<typename C::Core>(self).drift_snapshot());
}

template <class C>
PyObject* drift_report_body(PyObject* self, PyObject* const* argv) {
    float threshold;
    if (!to_f32(argv[0], "drift_threshold", threshold)) return nullptr;
    return result_dict(core_of<typename C::Core>(self).drift_report(threshold));
}

template <class C>
PyObject* drift_report_partial_body(PyObject* self, PyObject* const* argv) {
    std::vector<std::string> names;
    float threshold;
    if (!to_text_seq(argv[0], "metrics", names) || !to_f32(argv[1], "drift_threshold", threshold)) return nullptr;
    // The names are checked before the stream's emptiness.
    const auto metrics = parse_metrics<C>(names);
    if (!metrics) return raise(metrics.error());
    return result_dict(core_of<typename C::Core>(self).drift_report_partial_metrics(*metrics, threshold));
}

template <class C>
FunctionBinding flush() {
    return make_binding<kFlush<C>, flush_body<C>>();
}
template <class C>
FunctionBinding performance_snapshot() {
    return make_binding<kPerformance<C>, performance_body<C>>();
}
template <class C>
FunctionBinding drift_snapshot() {
    return make_binding<kDriftSnapshot<C>, drift_snapshot_body<C>>();
}
template <class C>
FunctionBinding drift_report() {
    return make_binding<kDriftReport<C>, drift_report_body<C>>();
}
template <class C>
FunctionBinding drift_report_partial_metrics() {
    return make_binding<kDriftReportPartial<C>, drift_report_partial_body<C>>();
}

}  // namespace tarvenn::monitor_methods
