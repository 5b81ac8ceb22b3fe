// The accumulators of data drift: runtime bin counts against a fixed baseline,
// continuous (edges from the reference values) or categorical (the reference
// labels' table). The baseline is built once and shared by copies and merges.
#include <bit>
#include <cstring>
#include <memory>

#include "core/state_format.hpp"
#include "drift/data_drift.hpp"
#include "engine/accumulator.hpp"
#include "drift/bin_counts.hpp"
#include "engine/engine.hpp"
#include "engine/state.hpp"
#include "python/conversions.hpp"
#include "python/drift_common.hpp"
#include "python/exceptions.hpp"
#include "python/text_index.hpp"

namespace tarvenn::engine {
namespace {

using drift::BinLayout;
using drift::DataDriftType;

bool finish_args(PyObject* names_obj, std::vector<DataDriftType>& types) {
    std::vector<std::string> names;
    return to_text_seq(names_obj, "drift_metrics", names) && parse_drift_types_arg(names, types);
}

template <class Bins>
PyObject* finish_counts(const Bins& bins, PyObject* names_obj, BinLayout layout) {
    std::vector<DataDriftType> types;
    if (!finish_args(names_obj, types)) return nullptr;
    auto values = drift::drift_from_counts(bins.baseline->baseline_hist(), bins.counts, types, layout);
    if (!values) return raise(values.error());
    return float_list(*values);
}

bool different_baselines() {
    PyErr_SetString(PyExc_ValueError, "cannot merge bin counts built on different baselines");
    return false;
}

// --- ContinuousBinCounts --------------------------------------------------------------

constexpr const char* kContinuous = "ContinuousBinCounts";
using ContinuousAcc = Accumulator<ContinuousBins>;

constexpr Signature kContinuousNew{kContinuous, "__new__", {"reference", "quantile_type"}, 1,
                                   "Runtime bin counts against the continuous baseline of `reference`."};

PyObject* continuous_new(PyTypeObject* type, PyObject* const* argv) {
    PyArrayObject* array;
    std::optional<std::string> quantile_text;
    if (!to_f64_array_view(argv[0], "reference", array) ||
        (argv[1] != nullptr && !to_optional_str(argv[1], "quantile_type", quantile_text)))
        return nullptr;
    F64Values reference;
    std::optional<drift::QuantileType> rule;
    if (!read_values(array, reference) || !coerce_quantile_type(quantile_text, rule)) return nullptr;
    auto baseline =
        drift::BaselineContinuousBins::create(reference.data, rule.value_or(drift::QuantileType::FreedmanDiaconis));
    if (!baseline) return raise(baseline.error());
    return box_new(type, ContinuousAcc(ContinuousBins::on(std::move(*baseline))));
}

constexpr Signature kContinuousAdd{kContinuous, "add", {"values"}, 1, "Count the values of a float64 column into the bins."};

PyObject* continuous_add(PyObject* self, PyObject* const* argv) {
    auto& acc = accumulator_of<ContinuousBins>(self);
    InUse in_use(acc);
    if (!in_use) return nullptr;
    PyArrayObject* array;
    F64Values values;
    if (!to_f64_array_view(argv[0], "values", array) || !read_values(array, values)) return nullptr;
    PyRef hold = PyRef::borrow(argv[0]);
    without_gil([&] { acc.state.baseline->count_bins(values.data, acc.state.counts); });
    Py_RETURN_NONE;
}

bool merge_continuous(ContinuousBins& into, const ContinuousBins& other) {
    if (!into.baseline->same_as(*other.baseline)) return different_baselines();
    into.add(other);
    return true;
}

constexpr Signature kContinuousMerge{kContinuous, "merge", {"other"}, 1,
                                     "Add the bin counts of another accumulator on the same baseline."};

constexpr Signature kContinuousSerialize{kContinuous, "serialize", {}, 0, "The accumulator as bytes, for load()."};

constexpr Signature kContinuousFinish{kContinuous, "finish", {"drift_metrics"}, 1,
                                      "The drift values of the counted values, as the batch function gives them."};

PyObject* continuous_finish(PyObject* self, PyObject* const* argv) {
    auto& acc = accumulator_of<ContinuousBins>(self);
    InUse in_use(acc);
    if (!in_use) return nullptr;
    return finish_counts(acc.state, argv[0], BinLayout::Continuous);
}

constexpr Signature kContinuousEmpty{kContinuous, "empty_copy", {}, 0, "An accumulator on the same baseline with no counts."};

PyObject* continuous_empty(PyObject* self, PyObject* const*) {
    auto& acc = accumulator_of<ContinuousBins>(self);
    return box_new(Py_TYPE(self), ContinuousAcc(ContinuousBins::on(acc.state.baseline)));
}

// --- CategoricalBinCounts -------------------------------------------------------------

constexpr const char* kCategorical = "CategoricalBinCounts";
using CategoricalAcc = Accumulator<CategoricalBins>;

constexpr Signature kCategoricalNew{kCategorical, "__new__", {"reference"}, 1,
                                    "Runtime label counts against the categorical baseline of `reference`."};

PyObject* categorical_new(PyTypeObject* type, PyObject* const* argv) {
    std::vector<std::string> reference;
    if (!to_text_seq(argv[0], "reference", reference)) return nullptr;
    auto baseline = drift::BaselineCategoricalBins::create(reference);
    if (!baseline) return raise(baseline.error());
    return box_new(type, CategoricalAcc(CategoricalBins::on(std::move(*baseline))));
}

constexpr Signature kCategoricalAdd{kCategorical, "add", {"values"}, 1, "Count the labels of a text column into the bins."};

PyObject* categorical_add(PyObject* self, PyObject* const* argv) {
    auto& acc = accumulator_of<CategoricalBins>(self);
    InUse in_use(acc);
    if (!in_use) return nullptr;
    // Text items are Python objects: they are looked up with the lock held.
    TextSeqArg values;
    std::vector<std::uint32_t> bins;
    if (!values.check(argv[0], "values") || !values.indices(text_index_fn(*acc.state.baseline), bins)) return nullptr;
    for (std::uint32_t b : bins) ++acc.state.counts[b];
    Py_RETURN_NONE;
}

bool merge_categorical(CategoricalBins& into, const CategoricalBins& other) {
    if (!into.baseline->same_as(*other.baseline)) return different_baselines();
    into.add(other);
    return true;
}

constexpr Signature kCategoricalMerge{kCategorical, "merge", {"other"}, 1,
                                      "Add the label counts of another accumulator on the same baseline."};

constexpr Signature kCategoricalSerialize{kCategorical, "serialize", {}, 0, "The accumulator as bytes, for load()."};

constexpr Signature kCategoricalFinish{kCategorical, "finish", {"drift_metrics"}, 1,
                                       "The drift values of the counted labels, as the batch function gives them."};

PyObject* categorical_finish(PyObject* self, PyObject* const* argv) {
    auto& acc = accumulator_of<CategoricalBins>(self);
    InUse in_use(acc);
    if (!in_use) return nullptr;
    return finish_counts(acc.state, argv[0], BinLayout::Categorical);
}

constexpr Signature kCategoricalEmpty{kCategorical, "empty_copy", {}, 0,
                                      "An accumulator on the same baseline with no counts."};

PyObject* categorical_empty(PyObject* self, PyObject* const*) {
    auto& acc = accumulator_of<CategoricalBins>(self);
    return box_new(Py_TYPE(self), CategoricalAcc(CategoricalBins::on(acc.state.baseline)));
}

template <class Bins>
PyObject* rows_of(PyObject* self, void*) {
    return PyLong_FromUnsignedLongLong(accumulator_of<Bins>(self).state.rows());
}

template <class Bins>
PyObject* num_bins_of(PyObject* self, void*) {
    return PyLong_FromSize_t(accumulator_of<Bins>(self).state.counts.size());
}

constexpr Signature kCheckMeasures{nullptr, "check_drift_measures", {"drift_metrics"}, 1,
                                   "Check drift measure names as finish() parses them."};

PyObject* check_measures(PyObject*, PyObject* const* argv) {
    std::vector<DataDriftType> types;
    if (!finish_args(argv[0], types)) return nullptr;
    Py_RETURN_NONE;
}

constexpr Signature kFromDetector{nullptr, "bins_from_detector", {"state"}, 1,
                                  "Empty bin counts on the baseline of a saved batch drift detector (the bytes of\n"
                                  "PyContinuousDataDrift or PyCategoricalDataDrift.__getstate__())."};

template <class Bins, class Detector>
PyObject* bins_on_detector(PyObject* module, const char* name, std::span<const std::uint8_t> bytes) {
    auto detector = Detector::load_state(bytes);
    if (!detector) {
        PyErr_SetString(PyExc_ValueError, detector.error().message.c_str());
        return nullptr;
    }
    PyRef type(PyObject_GetAttrString(module, name));
    if (!type) return nullptr;
    return box_new(reinterpret_cast<PyTypeObject*>(type.get()), Accumulator<Bins>(Bins::on(detector->baseline())));
}

PyObject* from_detector(PyObject* module, PyObject* const* argv) {
    if (!PyBytes_Check(argv[0])) {
        PyErr_Format(PyExc_TypeError, "expected bytes, got '%s'", Py_TYPE(argv[0])->tp_name);
        return arg_conversion_failed("state"), nullptr;
    }
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(PyBytes_AS_STRING(argv[0])),
                                              static_cast<std::size_t>(PyBytes_GET_SIZE(argv[0])));
    auto tag = state::peek_class(bytes);
    if (tag && *tag == state::ClassTag::CategoricalDataDrift)
        return bins_on_detector<CategoricalBins, drift::CategoricalDataDrift>(module, "CategoricalBinCounts", bytes);
    // Any other state fails in the continuous loader with the format's message.
    return bins_on_detector<ContinuousBins, drift::ContinuousDataDrift>(module, "ContinuousBinCounts", bytes);
}

}  // namespace

const FunctionBinding bins_from_detector_binding = make_binding<kFromDetector, from_detector>();
const FunctionBinding check_drift_measures_binding = make_binding<kCheckMeasures, check_measures>();

bool add_ContinuousBinCounts(PyObject* module) {
    static ClassBinding binding = class_binding<ContinuousAcc, kContinuousNew, continuous_new>(
        {
            make_binding<kContinuousAdd, continuous_add>(),
            make_binding<kContinuousMerge, merge_method<ContinuousBins, merge_continuous>>(),
            make_binding<kContinuousSerialize, serialize_method<ContinuousBins>>(),
            make_binding<kContinuousFinish, continuous_finish>(),
            make_binding<kContinuousEmpty, continuous_empty>(),
        },
        {{"rows", rows_of<ContinuousBins>, "Values counted."}, {"num_bins", num_bins_of<ContinuousBins>, "Bins."}});
    return add_class(module, binding);
}

bool add_CategoricalBinCounts(PyObject* module) {
    static ClassBinding binding = class_binding<CategoricalAcc, kCategoricalNew, categorical_new>(
        {
            make_binding<kCategoricalAdd, categorical_add>(),
            make_binding<kCategoricalMerge, merge_method<CategoricalBins, merge_categorical>>(),
            make_binding<kCategoricalSerialize, serialize_method<CategoricalBins>>(),
            make_binding<kCategoricalFinish, categorical_finish>(),
            make_binding<kCategoricalEmpty, categorical_empty>(),
        },
        {{"rows", rows_of<CategoricalBins>, "Labels counted."}, {"num_bins", num_bins_of<CategoricalBins>, "Bins."}});
    return add_class(module, binding);
}

}  // namespace tarvenn::engine
