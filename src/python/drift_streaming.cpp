// Bindings of the four streaming drift detectors. One template per method serves
// the continuous and categorical kinds in both modes; the traits give each class
// its name, parameter names and documentation.
#include <type_traits>

#include "python/text_index.hpp"
#include "python/conversions.hpp"
#include "drift/data_drift.hpp"
#include "python/drift.hpp"
#include "python/drift_common.hpp"
#include "python/exceptions.hpp"
#include "python/py_ref.hpp"
#include "python/state_methods.hpp"

namespace tarvenn {
namespace {

using drift::DataDriftType;
using drift::DecayMode;
using drift::FlushMode;

struct DecayDocs {
    static constexpr const char* compute =
        "Apply decay to stream bins and compute a single drift metric.\n\n" TARVENN_DRIFT_TYPE_LIST;
    static constexpr const char* compute_many =
        "Apply decay and compute multiple drift metrics in a single pass. Returns\n"
        "scores in the same order as `drift_types`.";
    static constexpr const char* total_samples = "Effective sample count after decay weighting.";
};

struct FlushDocs {
    static constexpr const char* compute =
        "Compute a single drift metric against the current stream bins. Triggers a\n"
        "flush if the configured flush cadence or rate has been reached.\n\n" TARVENN_DRIFT_TYPE_LIST;
    static constexpr const char* compute_many =
        "Compute multiple drift metrics in a single pass. Returns scores in the same\n"
        "order as `drift_types`.";
    static constexpr const char* total_samples = "Total number of runtime samples accumulated since the last flush.";
};

struct ContinuousDocs {
    static constexpr const char* reset = "Replace the baseline distribution with a new data slice and clear the stream.";
    static constexpr const char* reset_param = "baseline_data";
    static constexpr const char* update_batch = "Add a batch of runtime samples to the stream buffer.";
    static constexpr const char* update = "Add a single runtime sample to the stream buffer.";
    static constexpr const char* flush = "Flush the stream, resetting accumulated runtime bins.";
    static constexpr const char* snapshot = "Export the current stream histogram as a map of bin label to bin values.";
    static constexpr const char* baseline = "Return the baseline as a normalized probability distribution (sums to 1.0).";
    static constexpr const char* n_bins = "Number of histogram bins.";
};

struct CategoricalDocs {
    static constexpr const char* reset =
        "Replace the baseline distribution with a new set of labels and clear the stream.";
    static constexpr const char* reset_param = "new_baseline";
    static constexpr const char* update_batch = "Add a batch of runtime labels to the stream buffer.";
    static constexpr const char* update = "Add a single runtime label to the stream buffer.";
    static constexpr const char* flush = "Flush the stream, resetting accumulated runtime label counts.";
    static constexpr const char* snapshot = "Export the current stream label counts as a map of label to count.";
    static constexpr const char* baseline = "Return the baseline label frequencies as a normalized distribution.";
    static constexpr const char* n_bins = "Number of distinct label bins.";
};

struct ContinuousFlush : ContinuousDocs, FlushDocs {
    using Core = drift::StreamingContinuousDataDrift<FlushMode>;
    static constexpr const char* name = "PyStreamingContinuousDataDriftFlush";
    static constexpr const char* doc =
        "Streaming continuous data drift detector in flush mode. Accumulates runtime\n"
        "samples and resets accumulated bins on each flush.";
};
struct ContinuousDecay : ContinuousDocs, DecayDocs {
    using Core = drift::StreamingContinuousDataDrift<DecayMode>;
    static constexpr const char* name = "PyStreamingContinuousDataDriftDecay";
    static constexpr const char* doc =
        "Streaming continuous data drift detector in decay mode. Applies exponential\n"
        "decay to accumulated runtime bins on each drift computation, giving more weight\n"
        "to recent samples.";
};
struct CategoricalFlush : CategoricalDocs, FlushDocs {
    using Core = drift::StreamingCategoricalDataDrift<FlushMode>;
    static constexpr const char* name = "PyStreamingCategoricalDataDriftFlush";
    static constexpr const char* doc =
        "Streaming categorical data drift detector in flush mode. Accumulates runtime\n"
        "label counts and resets accumulated bins on each flush.";
};
struct CategoricalDecay : CategoricalDocs, DecayDocs {
    using Core = drift::StreamingCategoricalDataDrift<DecayMode>;
    static constexpr const char* name = "PyStreamingCategoricalDataDriftDecay";
    static constexpr const char* doc =
        "Streaming categorical data drift detector in decay mode. Applies exponential\n"
        "decay to accumulated label counts on each drift computation, giving more weight\n"
        "to recent samples.";
};

template <class T>
constexpr bool kContinuous = std::is_same_v<T, ContinuousFlush> || std::is_same_v<T, ContinuousDecay>;
template <class T>
constexpr bool kFlush = std::is_same_v<T, ContinuousFlush> || std::is_same_v<T, CategoricalFlush>;

template <class T>
typename T::Core& core(PyObject* self) {
    return core_of<typename T::Core>(self);
}

// --- constructors -------------------------------------------------------------------

template <class T>
constexpr Signature new_signature() {
    if constexpr (std::is_same_v<T, ContinuousFlush>)
        return {T::name, "__new__", {"baseline_data", "quantile_type_str", "flush_rate_opt", "flush_cadence_opt"}, 4, T::doc};
    else if constexpr (std::is_same_v<T, ContinuousDecay>)
        return {T::name, "__new__", {"baseline_data", "quantile_type_str", "decay_opt"}, 3, T::doc};
    else if constexpr (std::is_same_v<T, CategoricalFlush>)
        return {T::name, "__new__", {"baseline_data", "flush_rate", "flush_cadence"}, 3, T::doc};
    else
        return {T::name, "__new__", {"baseline_data", "half_life_opt"}, 2, T::doc};
}

template <class T>
constexpr Signature kNew = new_signature<T>();

template <class T>
PyObject* streaming_new(PyTypeObject* type, PyObject* const* argv) {
    constexpr const Signature& sig = kNew<T>;
    if constexpr (kContinuous<T>) {
        PyArrayObject* array;
        std::optional<std::string> quantile_text;
        std::optional<std::uint64_t> first, second;
        if (!to_f64_array_view(argv[0], sig.params[0], array) ||
            !to_optional_str(argv[1], sig.params[1], quantile_text) ||
            !to_optional_u64(argv[2], sig.params[2], first))
            return nullptr;
        if constexpr (kFlush<T>)
            if (!to_optional_u64(argv[3], sig.params[3], second)) return nullptr;
        F64Values baseline;
        std::optional<drift::QuantileType> rule;
        if (!read_values(array, baseline) || !coerce_quantile_type(quantile_text, rule)) return nullptr;
        if constexpr (kFlush<T>) {
            auto detector = T::Core::create(baseline.data, rule, drift::flush_mode(first, second));
            if (!detector) return raise(detector.error());
            return box_new(type, std::move(*detector));
        } else {
            auto mode = drift::decay_mode(first);
            if (!mode) return raise(mode.error());
            auto detector = T::Core::create(baseline.data, rule, *mode);
            if (!detector) return raise(detector.error());
            return box_new(type, std::move(*detector));
        }
    } else {
        std::vector<std::string> baseline;
        std::optional<std::uint64_t> first, second;
        if (!to_text_seq(argv[0], sig.params[0], baseline) || !to_optional_u64(argv[1], sig.params[1], first))
            return nullptr;
        if constexpr (kFlush<T>) {
            if (!to_optional_u64(argv[2], sig.params[2], second)) return nullptr;
            auto detector = T::Core::create(baseline, drift::flush_mode(first, second));
            if (!detector) return raise(detector.error());
            return box_new(type, std::move(*detector));
        } else {
            auto mode = drift::decay_mode(first);
            if (!mode) return raise(mode.error());
            auto detector = T::Core::create(baseline, *mode);
            if (!detector) return raise(detector.error());
            return box_new(type, std::move(*detector));
        }
    }
}

// --- adding samples -------------------------------------------------------------------

template <class T>
constexpr Signature kUpdate{T::name, "update_stream", {"runtime_example"}, 1, T::update};

template <class T>
PyObject* update_stream(PyObject* self, PyObject* const* argv) {
    auto& detector = core<T>(self);
    if constexpr (kContinuous<T>) {
        double value;
        if (!to_f64(argv[0], "runtime_example", value)) return nullptr;
        detector.update_stream(value);
    } else {
        std::string_view label;
        std::string storage;  // used only when the argument is not a str
        if (!to_str_view(argv[0], "runtime_example", label, storage)) return nullptr;
        detector.update_stream(detector.baseline().bin_of(label));
    }
    Py_RETURN_NONE;
}

template <class T>
constexpr Signature kUpdateBatch{T::name, "update_stream_batch", {"runtime_data"}, 1, T::update_batch};

template <class T>
PyObject* update_stream_batch(PyObject* self, PyObject* const* argv) {
    auto& detector = core<T>(self);
    if constexpr (kContinuous<T>) {
        PyArrayObject* array;
        F64Values runtime;
        if (!to_f64_array_view(argv[0], "runtime_data", array) || !read_values(array, runtime)) return nullptr;
        return none_or_raise(detector.update_stream_batch(runtime.data));
    } else {
        TextSeqArg runtime;
        std::vector<std::uint32_t> bins;
        if (!runtime.check(argv[0], "runtime_data") ||
            !runtime.indices(text_index_fn(detector.baseline()), bins))
            return nullptr;
        return none_or_raise(detector.update_stream_batch(bins));
    }
}

// --- drift ----------------------------------------------------------------------------

template <class T>
constexpr Signature kCompute{T::name, "compute_drift", {"drift_type"}, 1, T::compute};

template <class T>
PyObject* compute_drift(PyObject* self, PyObject* const* argv) {
    std::string name;
    DataDriftType type;
    if (!to_str(argv[0], "drift_type", name) || !parse_drift_type_arg(name, type)) return nullptr;
    auto value = core<T>(self).compute_drift(type);
    if (!value) return raise(value.error());
    return PyFloat_FromDouble(*value);
}

template <class T>
constexpr Signature kComputeMany{T::name, "compute_drift_multiple_criteria", {"drift_types"}, 1, T::compute_many};

template <class T>
PyObject* compute_drift_many(PyObject* self, PyObject* const* argv) {
    std::vector<std::string> names;
    std::vector<DataDriftType> types;
    if (!to_text_seq(argv[0], "drift_types", names) || !parse_drift_types_arg(names, types)) return nullptr;
    auto values = core<T>(self).compute_drift_many(types);
    if (!values) return raise(values.error());
    return float_list(*values);
}

// --- baseline, flush, exports -----------------------------------------------------------

template <class T>
constexpr Signature kReset{T::name, "reset_baseline", {T::reset_param}, 1, T::reset};

template <class T>
PyObject* reset_baseline(PyObject* self, PyObject* const* argv) {
    if constexpr (kContinuous<T>) {
        PyArrayObject* array;
        F64Values baseline;
        if (!to_f64_array_view(argv[0], T::reset_param, array) || !read_values(array, baseline)) return nullptr;
        return none_or_raise(core<T>(self).reset_baseline(baseline.data));
    } else {
        std::vector<std::string> baseline;
        if (!to_text_seq(argv[0], T::reset_param, baseline)) return nullptr;
        return none_or_raise(core<T>(self).reset_baseline(baseline));
    }
}

template <class T>
constexpr Signature kFlushSig{T::name, "flush", {}, 0, T::flush};

template <class T>
PyObject* flush(PyObject* self, PyObject* const*) {
    core<T>(self).flush();
    Py_RETURN_NONE;
}

bool set_list(PyObject* dict, const char* key, std::span<const double> values) {
    PyRef list(float_list(values));
    return list && PyDict_SetItemString(dict, key, list.get()) == 0;
}

template <class T>
constexpr Signature kSnapshot{T::name, "export_snapshot", {}, 0, T::snapshot};

template <class T>
PyObject* export_snapshot(PyObject* self, PyObject* const*) {
    const auto& detector = core<T>(self);
    if constexpr (kContinuous<T>) {
        auto snapshot = detector.export_snapshot();
        if (!snapshot) return raise(snapshot.error());
        PyRef dict(PyDict_New());
        if (!dict || !set_list(dict.get(), "binEdges", snapshot->bin_edges) ||
            !set_list(dict.get(), "baselineBins", snapshot->baseline_bins) ||
            !set_list(dict.get(), "streamBins", snapshot->stream_bins))
            return nullptr;
        return dict.release();
    } else {
        return label_dict(detector.baseline().label_index(), detector.window().bins());
    }
}

template <class T>
constexpr Signature kBaseline{T::name, "export_baseline", {}, 0, T::baseline};

template <class T>
PyObject* export_baseline(PyObject* self, PyObject* const*) {
    const auto& baseline = core<T>(self).baseline();
    if constexpr (kContinuous<T>)
        return float_list(baseline.baseline_hist());
    else
        return label_dict(baseline.label_index(), baseline.baseline_hist());
}

template <class T>
PyObject* get_total_samples(PyObject* self, void*) {
    return PyLong_FromUnsignedLong(core<T>(self).total_samples());
}

template <class T>
PyObject* get_last_flush(PyObject* self, void*) {
    return PyLong_FromUnsignedLongLong(core<T>(self).window().seconds_since_flush());
}

template <class T>
PyObject* get_n_bins(PyObject* self, void*) {
    return PyLong_FromSize_t(core<T>(self).n_bins());
}

template <class T>
bool add_streaming_class(PyObject* module) {
    std::vector<FunctionBinding> methods{
        make_binding<kCompute<T>, compute_drift<T>>(),
        make_binding<kComputeMany<T>, compute_drift_many<T>>(),
        make_binding<kReset<T>, reset_baseline<T>>(),
        make_binding<kUpdateBatch<T>, update_stream_batch<T>>(),
        make_binding<kUpdate<T>, update_stream<T>>(),
    };
    if constexpr (kFlush<T>) methods.push_back(make_binding<kFlushSig<T>, flush<T>>());
    methods.push_back(make_binding<kSnapshot<T>, export_snapshot<T>>());
    methods.push_back(make_binding<kBaseline<T>, export_baseline<T>>());
    std::vector<GetterBinding> getters{{"total_samples", get_total_samples<T>, T::total_samples}};
    if constexpr (kFlush<T>)
        getters.push_back({"last_flush", get_last_flush<T>, "Unix timestamp (seconds) of the last flush."});
    getters.push_back({"n_bins", get_n_bins<T>, T::n_bins});
    static ClassBinding binding =
        class_binding<typename T::Core, kNew<T>, streaming_new<T>>(state_methods::with_state<T, true>(std::move(methods)),
                                                                   std::move(getters));
    return add_class(module, binding);
}

}  // namespace

bool add_PyStreamingContinuousDataDriftFlush(PyObject* module) { return add_streaming_class<ContinuousFlush>(module); }
bool add_PyStreamingContinuousDataDriftDecay(PyObject* module) { return add_streaming_class<ContinuousDecay>(module); }
bool add_PyStreamingCategoricalDataDriftFlush(PyObject* module) { return add_streaming_class<CategoricalFlush>(module); }
bool add_PyStreamingCategoricalDataDriftDecay(PyObject* module) { return add_streaming_class<CategoricalDecay>(module); }

}  // namespace tarvenn
