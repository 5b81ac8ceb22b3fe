// Bindings of the batch drift detectors and the two one-shot drift functions.
#include "python/text_index.hpp"
#include "python/conversions.hpp"
#include "drift/data_drift.hpp"
#include "python/drift.hpp"
#include "python/drift_common.hpp"
#include "python/exceptions.hpp"
#include "python/state_methods.hpp"

namespace tarvenn {
namespace {

using drift::CategoricalDataDrift;
using drift::ContinuousDataDrift;
using drift::DataDriftType;

constexpr const char* kComputeDoc = "Compute a single drift metric against `runtime_data`.\n\n" TARVENN_DRIFT_TYPE_LIST;

// --- one-shot functions ------------------------------------------------------------

constexpr Signature kContinuousOneShot{nullptr, "py_compute_drift_continuous_distribtuion",
                                       {"baseline", "candidate", "drift_metrics", "quantile_type"}, 4};

PyObject* py_compute_drift_continuous_distribtuion(PyObject*, PyObject* const* argv) {
    PyArrayObject *baseline_array, *candidate_array;
    std::vector<std::string> metric_names;
    std::optional<std::string> quantile_text;
    if (!to_f64_array_view(argv[0], "baseline", baseline_array) ||
        !to_f64_array_view(argv[1], "candidate", candidate_array) ||
        !to_text_seq(argv[2], "drift_metrics", metric_names) ||
        !to_optional_str(argv[3], "quantile_type", quantile_text))
        return nullptr;
    F64Values baseline, candidate;
    if (!read_values(baseline_array, baseline) || !read_values(candidate_array, candidate)) return nullptr;
    std::vector<DataDriftType> types;
    std::optional<drift::QuantileType> rule;
    if (!parse_drift_types_arg(metric_names, types) || !coerce_quantile_type(quantile_text, rule)) return nullptr;
    auto values = drift::compute_drift_continuous_distribution(baseline.data, candidate.data, types, rule);
    if (!values) return raise(values.error());
    return float_list(*values);
}

constexpr Signature kCategoricalOneShot{nullptr, "py_compute_drift_categorical_distribtuion",
                                        {"baseline", "candidate", "drift_metrics"}, 3};

PyObject* py_compute_drift_categorical_distribtuion(PyObject*, PyObject* const* argv) {
    std::vector<std::string> baseline, metric_names;
    TextSeqArg candidate;
    if (!to_text_seq(argv[0], "baseline", baseline) || !candidate.check(argv[1], "candidate") ||
        !to_text_seq(argv[2], "drift_metrics", metric_names))
        return nullptr;
    std::vector<DataDriftType> types;
    if (!parse_drift_types_arg(metric_names, types)) return nullptr;
    auto detector = CategoricalDataDrift::create(baseline);
    if (!detector) return raise(detector.error());
    std::vector<std::uint32_t> bins;
    if (!candidate.indices(text_index_fn(detector->baseline()), bins)) return nullptr;
    auto values = detector->compute_drift_many(bins, types);
    if (!values) return raise(values.error());
    return float_list(*values);
}

// --- PyContinuousDataDrift ------------------------------------------------------------

constexpr const char* kContinuous = "PyContinuousDataDrift";

constexpr Signature kContinuousNew{kContinuous, "__new__", {"baseline_data", "quantile_type_str"}, 2,
                                   "Batch continuous data drift detector. Computes drift metrics between a fixed\n"
                                   "baseline histogram and a runtime data slice on each call."};

PyObject* continuous_new(PyTypeObject* type, PyObject* const* argv) {
    PyArrayObject* array;
    std::optional<std::string> quantile_text;
    if (!to_f64_array_view(argv[0], "baseline_data", array) ||
        !to_optional_str(argv[1], "quantile_type_str", quantile_text))
        return nullptr;
    std::optional<drift::QuantileType> rule;
    F64Values baseline;
    if (!coerce_quantile_type(quantile_text, rule) || !read_values(array, baseline)) return nullptr;
    auto detector = ContinuousDataDrift::create(baseline.data, rule);
    if (!detector) return raise(detector.error());
    return box_new(type, std::move(*detector));
}

constexpr Signature kContinuousCompute{kContinuous, "compute_drift", {"runtime_data", "drift_type"}, 2, kComputeDoc};

PyObject* continuous_compute(PyObject* self, PyObject* const* argv) {
    PyArrayObject* array;
    std::string name;
    if (!to_f64_array_view(argv[0], "runtime_data", array) || !to_str(argv[1], "drift_type", name))
        return nullptr;
    F64Values runtime;
    DataDriftType type;
    if (!read_values(array, runtime) || !parse_drift_type_arg(name, type)) return nullptr;
    auto value = core_of<ContinuousDataDrift>(self).compute_drift(runtime.data, type);
    if (!value) return raise(value.error());
    return PyFloat_FromDouble(*value);
}

constexpr Signature kContinuousComputeMany{
    kContinuous, "compute_drift_mutliple_criteria", {"runtime_data", "drift_types"}, 2};

PyObject* continuous_compute_many(PyObject* self, PyObject* const* argv) {
    PyArrayObject* array;
    std::vector<std::string> names;
    if (!to_f64_array_view(argv[0], "runtime_data", array) || !to_text_seq(argv[1], "drift_types", names))
        return nullptr;
    F64Values runtime;
    std::vector<DataDriftType> types;
    if (!read_values(array, runtime) || !parse_drift_types_arg(names, types)) return nullptr;
    auto values = core_of<ContinuousDataDrift>(self).compute_drift_many(runtime.data, types);
    if (!values) return raise(values.error());
    return float_list(*values);
}

constexpr Signature kContinuousReset{kContinuous, "reset_baseline", {"baseline_data"}, 1,
                                     "Replace the baseline with a new data slice, recomputing the histogram."};

PyObject* continuous_reset(PyObject* self, PyObject* const* argv) {
    PyArrayObject* array;
    F64Values baseline;
    if (!to_f64_array_view(argv[0], "baseline_data", array) || !read_values(array, baseline)) return nullptr;
    return none_or_raise(core_of<ContinuousDataDrift>(self).reset_baseline(baseline.data));
}

constexpr const char* kContinuousBaselineDoc =
    "Return the baseline as a normalized probability distribution (sums to 1.0).";
constexpr Signature kContinuousExport{kContinuous, "export_baseline", {}, 0, kContinuousBaselineDoc};

PyObject* continuous_export(PyObject* self, PyObject* const*) {
    return float_list(core_of<ContinuousDataDrift>(self).baseline().baseline_hist());
}

PyObject* continuous_num_bins(PyObject* self, void*) {
    return PyLong_FromUnsignedLong(core_of<ContinuousDataDrift>(self).num_bins());
}

// --- PyCategoricalDataDrift -----------------------------------------------------------

constexpr const char* kCategorical = "PyCategoricalDataDrift";

constexpr Signature kCategoricalNew{kCategorical, "__new__", {"baseline_data"}, 1,
                                    "Batch categorical data drift detector. Computes drift metrics between a fixed\n"
                                    "baseline label distribution and a runtime label slice on each call."};

PyObject* categorical_new(PyTypeObject* type, PyObject* const* argv) {
    std::vector<std::string> baseline;
    if (!to_text_seq(argv[0], "baseline_data", baseline)) return nullptr;
    auto detector = CategoricalDataDrift::create(baseline);
    if (!detector) return raise(detector.error());
    return box_new(type, std::move(*detector));
}

constexpr Signature kCategoricalCompute{kCategorical, "compute_drift", {"runtime_data", "drift_type"}, 2, kComputeDoc};

PyObject* categorical_compute(PyObject* self, PyObject* const* argv) {
    TextSeqArg runtime;
    std::string name;
    if (!runtime.check(argv[0], "runtime_data") || !to_str(argv[1], "drift_type", name)) return nullptr;
    DataDriftType type;
    if (!parse_drift_type_arg(name, type)) return nullptr;
    auto& detector = core_of<CategoricalDataDrift>(self);
    std::vector<std::uint32_t> bins;
    if (!runtime.indices(text_index_fn(detector.baseline()), bins)) return nullptr;
    auto value = detector.compute_drift(bins, type);
    if (!value) return raise(value.error());
    return PyFloat_FromDouble(*value);
}

constexpr Signature kCategoricalComputeMany{
    kCategorical, "compute_drift_mutliple_criteria", {"runtime_data", "drift_types"}, 2};

PyObject* categorical_compute_many(PyObject* self, PyObject* const* argv) {
    TextSeqArg runtime;
    std::vector<std::string> names;
    if (!runtime.check(argv[0], "runtime_data") || !to_text_seq(argv[1], "drift_types", names)) return nullptr;
    std::vector<DataDriftType> types;
    if (!parse_drift_types_arg(names, types)) return nullptr;
    auto& detector = core_of<CategoricalDataDrift>(self);
    std::vector<std::uint32_t> bins;
    if (!runtime.indices(text_index_fn(detector.baseline()), bins)) return nullptr;
    auto values = detector.compute_drift_many(bins, types);
    if (!values) return raise(values.error());
    return float_list(*values);
}

constexpr Signature kCategoricalReset{kCategorical, "reset_baseline", {"new_baseline"}, 1,
                                      "Replace the baseline with a new set of labels, recomputing the distribution."};

PyObject* categorical_reset(PyObject* self, PyObject* const* argv) {
    std::vector<std::string> baseline;
    if (!to_text_seq(argv[0], "new_baseline", baseline)) return nullptr;
    return none_or_raise(core_of<CategoricalDataDrift>(self).reset_baseline(baseline));
}

constexpr Signature kCategoricalExport{kCategorical, "export_baseline", {}, 0,
                                       "Return the baseline label frequencies as a normalized distribution."};

PyObject* categorical_export(PyObject* self, PyObject* const*) {
    const auto& baseline = core_of<CategoricalDataDrift>(self).baseline();
    return label_dict(baseline.label_index(), baseline.baseline_hist());
}

PyObject* categorical_num_bins(PyObject* self, void*) {
    return PyLong_FromSize_t(core_of<CategoricalDataDrift>(self).num_bins());
}

}  // namespace

const FunctionBinding py_compute_drift_categorical_distribtuion_binding =
    make_binding<kCategoricalOneShot, py_compute_drift_categorical_distribtuion>();
const FunctionBinding py_compute_drift_continuous_distribtuion_binding =
    make_binding<kContinuousOneShot, py_compute_drift_continuous_distribtuion>();

namespace {
struct ContinuousClass {
    using Core = ContinuousDataDrift;
    static constexpr const char* name = kContinuous;
};
struct CategoricalClass {
    using Core = CategoricalDataDrift;
    static constexpr const char* name = kCategorical;
};
}  // namespace

bool add_PyContinuousDataDrift(PyObject* module) {
    static ClassBinding binding = class_binding<ContinuousDataDrift, kContinuousNew, continuous_new>(
        state_methods::with_state<ContinuousClass, false>({
            make_binding<kContinuousCompute, continuous_compute>(),
            make_binding<kContinuousComputeMany, continuous_compute_many>(),
            make_binding<kContinuousReset, continuous_reset>(),
            make_binding<kContinuousExport, continuous_export>(),
        }),
        {{"num_bins", continuous_num_bins, "Number of histogram bins used for this baseline."}});
    return add_class(module, binding);
}

bool add_PyCategoricalDataDrift(PyObject* module) {
    static ClassBinding binding = class_binding<CategoricalDataDrift, kCategoricalNew, categorical_new>(
        state_methods::with_state<CategoricalClass, false>({
            make_binding<kCategoricalCompute, categorical_compute>(),
            make_binding<kCategoricalComputeMany, categorical_compute_many>(),
            make_binding<kCategoricalReset, categorical_reset>(),
            make_binding<kCategoricalExport, categorical_export>(),
        }),
        {{"num_bins", categorical_num_bins, nullptr}});
    return add_class(module, binding);
}

}  // namespace tarvenn
