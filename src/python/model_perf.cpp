#include "python/model_perf.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "python/conversions.hpp"
#include "python/exceptions.hpp"
#include "model_perf/hard_labels.hpp"
#include "model_perf/metrics.hpp"
#include "model_perf/runtime_check.hpp"
#include "model_perf/streaming.hpp"
#include "python/monitor_methods.hpp"
#include "python/state_methods.hpp"
#include "python/report_dicts.hpp"

namespace tarvenn {
namespace {

using Kind = ModelPerformanceError::Kind;

PyObject* raise_kind(Kind k) { return raise(ModelPerformanceError::of(k)); }

// --- batch metrics -------------------------------------------------------------

// Both arguments must be NumPy arrays; this is checked for both before either is
// classified.
bool array_args(PyObject* const* argv, PyArrayObject*& y_true, PyArrayObject*& y_pred) {
    return to_numpy_array(argv[0], "y_true_src", y_true) && to_numpy_array(argv[1], "y_pred_src", y_pred);
}

// Classifies both arrays as 32-bit float columns (y_true_src first); their values
// are then read block by block, without a whole converted copy.
bool f32_columns(PyArrayObject* y_true, PyArrayObject* y_pred, F32Column& t, F32Column& p) {
    return to_f32_column(y_true, t) && to_f32_column(y_pred, p);
}

constexpr Signature kLinearRegression{nullptr, "py_model_perf_linear_regression", {"y_true_src", "y_pred_src"}, 2};

PyObject* py_model_perf_linear_regression(PyObject*, PyObject* const* argv) {
    PyArrayObject *y_true, *y_pred;
    F32Column yt, yp;
    if (!array_args(argv, y_true, y_pred)) return nullptr;
    if (!f32_columns(y_true, y_pred, yt, yp)) {
        // This function reports every conversion failure the same way.
        PyErr_Clear();
        PyErr_SetString(PyExc_ValueError, "Invalid types passed");
        return nullptr;
    }
    const auto sizes = LinearRegressionErrorBuckets::check_sizes(yt.size, yp.size);
    if (!sizes) return raise(sizes.error());
    LinearRegressionErrorBuckets buckets;
    for_each_f32_block_pair(yt, yp, [&](auto t, auto p) { buckets.push_all(t, p); });
    return report_to_py_dict(buckets.batch_metrics().to_map());
}

// The positive marker of each dtype that to_f32_column reads.
PositiveMarker positive_marker_of(NativeType type) {
    switch (type) {
        case NativeType::F64: return positive_marker<double>();
        case NativeType::F32: return positive_marker<float>();
        case NativeType::I8: return positive_marker<std::int8_t>();
        case NativeType::I16: return positive_marker<std::int16_t>();
        case NativeType::I32: return positive_marker<std::int32_t>();
        case NativeType::I64: return positive_marker<std::int64_t>();
        case NativeType::U8: return positive_marker<std::uint8_t>();
        case NativeType::U16: return positive_marker<std::uint16_t>();
        case NativeType::U32: return positive_marker<std::uint32_t>();
        case NativeType::U64: return positive_marker<std::uint64_t>();
        case NativeType::Bool:
        case NativeType::None: break;
    }
    return nullptr;
}

constexpr Signature kClassification{nullptr, "py_model_perf_classification", {"y_true_src", "y_pred_src"}, 2};

PyObject* py_model_perf_classification(PyObject*, PyObject* const* argv) {
    PyArrayObject *y_true, *y_pred;
    F32Column yt, yp;
    if (!array_args(argv, y_true, y_pred) || !f32_columns(y_true, y_pred, yt, yp)) return nullptr;
    if (yt.size != yp.size) return raise_kind(Kind::DataVectorLengthMismatch);
    // Each block is marked positive / not in its own dtype (no float conversion of
    // integers), then counted.
    const PositiveMarker mark_true = positive_marker_of(native_type(y_true));
    const PositiveMarker mark_pred = positive_marker_of(native_type(y_pred));
    ConfusionMatrix counts;
    std::uint8_t marks_true[kF32Block], marks_pred[kF32Block];
    for (std::size_t begin = 0; begin < yt.size; begin += kF32Block) {
        const std::size_t count = std::min(kF32Block, yt.size - begin);
        mark_true(yt.base + static_cast<std::ptrdiff_t>(begin) * yt.stride, yt.stride, count, marks_true);
        mark_pred(yp.base + static_cast<std::ptrdiff_t>(begin) * yp.stride, yp.stride, count, marks_pred);
        counts.add(count_marked({marks_true, count}, {marks_pred, count}));
    }
    return report_to_py_dict(classification_from_counts(counts).to_map());
}

constexpr Signature kLogisticRegression{
    nullptr, "py_model_perf_logistic_regression", {"y_true_src", "y_pred_src", "threshold"}, 3};

PyObject* py_model_perf_logistic_regression(PyObject*, PyObject* const* argv) {
    PyArrayObject *y_true, *y_pred;
    F32Column yt, yp;
    float threshold;
    if (!array_args(argv, y_true, y_pred) || !to_f32(argv[2], "threshold", threshold) ||
        !f32_columns(y_true, y_pred, yt, yp))
        return nullptr;
    auto batch = LogisticBatch::begin(yt.size, yp.size, threshold);
    if (!batch) return raise(batch.error());
    for_each_f32_block_pair(yt, yp, [&](auto t, auto p) { batch->add(t, p); });
    const auto record = batch->finish();
    if (!record) return raise(record.error());
    return report_to_py_dict(record->to_map());
}

// --- runtime checks ------------------------------------------------------------

// A full check: every metric of the family.
template <auto Check, auto AllMetrics>
PyObject* full_check(PyObject*, PyObject* const* argv) {
    RuntimeCheckArgs args;
    if (!args.convert(argv)) return nullptr;
    return monitor_methods::result_dict(Check(args.baseline, args.latest, AllMetrics(), args.threshold));
}

// A partial check: the metrics named by the caller, parsed by the family's parser.
template <auto Check, auto Parse>
PyObject* partial_check(PyObject*, PyObject* const* argv) {
    RuntimeCheckArgs args;
    if (!args.convert(argv, "evaluation_metrics")) return nullptr;
    const auto metrics = Parse(args.metric_names);
    if (!metrics) return raise(metrics.error());
    return monitor_methods::result_dict(Check(args.baseline, args.latest, *metrics, args.threshold));
}

auto parse_classification(const std::vector<std::string>& names) { return parse_classification_metric_list(names); }
auto parse_logistic(const std::vector<std::string>& names) {
    return parse_metric_list<ClassificationEvaluationMetric>(names);
}
auto parse_regression(const std::vector<std::string>& names) {
    return parse_metric_list<LinearRegressionEvaluationMetric>(names);
}

constexpr Signature kClassRtFull{nullptr, "py_model_perf_class_rt_full", {"baseline", "latest", "threshold"}, 2};
constexpr Signature kClassRtPartial{
    nullptr, "py_model_perf_class_rt_partial", {"baseline", "latest", "evaluation_metrics", "threshold"}, 3};
constexpr Signature kLogRegRtFull{nullptr, "py_model_perf_log_reg_rt_full", {"baseline", "latest", "threshold"}, 2};
constexpr Signature kLogRegRtPartial{
    nullptr, "py_model_perf_log_reg_rt_partial", {"baseline", "latest", "evaluation_metrics", "threshold"}, 3};
constexpr Signature kLinRegRtFull{nullptr, "py_model_perf_lin_reg_rt_full", {"baseline", "latest", "threshold"}, 2};
constexpr Signature kLinRegRtPartial{
    nullptr, "py_model_perf_lin_reg_rt_partial", {"baseline", "latest", "evaluation_metrics", "threshold"}, 3};

// --- streaming monitors --------------------------------------------------------

// Monitors of 32-bit float samples.
struct F32Samples {
    using Value = float;
    static bool sequence(PyObject* obj, const char* param, std::vector<float>& out) {
        return to_f32_seq(obj, param, out);
    }
    static bool scalar(PyObject* obj, const char* param, float& out) { return to_f32(obj, param, out); }
};

struct RegressionClass : F32Samples {
    using Core = LinearRegressionStreaming;
    static constexpr const char* name = "PyLinearRegressionStreaming";
    static constexpr const char* push_params[2] = {"t", "p"};
};

struct LogisticClass : F32Samples {
    using Core = LogisticRegressionStreaming;
    static constexpr const char* name = "PyLogisticRegressionStreaming";
    static constexpr const char* push_params[2] = {"y_true", "y_pred"};
    static auto parse(const std::vector<std::string>& names) { return parse_logistic(names); }
};

struct ClassificationClass {
    using Core = BinaryClassificationStreaming<std::int32_t>;
    using Value = std::int32_t;
    static constexpr const char* name = "PyBinaryClassificationStreaming";
    static constexpr const char* push_params[2] = {"y_true", "y_pred"};
    static bool sequence(PyObject* obj, const char* param, std::vector<std::int32_t>& out) {
        return to_i32_seq(obj, param, out);
    }
    static bool scalar(PyObject* obj, const char* param, std::int32_t& out) { return to_i32(obj, param, out); }
    static auto parse(const std::vector<std::string>& names) { return parse_classification(names); }
};

template <class C>
bool pair_sequences(PyObject* const* argv, std::vector<typename C::Value>& y_true,
                    std::vector<typename C::Value>& y_pred) {
    return C::sequence(argv[0], "y_true", y_true) && C::sequence(argv[1], "y_pred", y_pred);
}

template <class C>
constexpr Signature kNew{C::name, "__new__", {"y_true", "y_pred"}, 2};
template <>
constexpr Signature kNew<LogisticClass>{LogisticClass::name, "__new__", {"y_true", "y_pred", "threshold"}, 3};
template <class C>
constexpr Signature kPush{C::name, "push", {C::push_params[0], C::push_params[1]}, 2};
template <class C>
constexpr Signature kPushBatch{C::name, "push_batch", {"y_true", "y_pred"}, 2};
template <class C>
constexpr Signature kReset{C::name, "reset_baseline", {"y_true", "y_pred"}, 2};
constexpr Signature kResetWithThreshold{
    LogisticClass::name, "reset_baseline_and_decision_threshold", {"y_true", "y_pred", "threshold"}, 3};

template <class C>
PyObject* streaming_new(PyTypeObject* type, PyObject* const* argv) {
    std::vector<typename C::Value> y_true, y_pred;
    if (!pair_sequences<C>(argv, y_true, y_pred)) return nullptr;
    auto monitor = [&] {
        if constexpr (std::is_same_v<C, LogisticClass>) {
            float threshold = 0.0f;
            if (!to_f32(argv[2], "threshold", threshold))
                return std::optional<decltype(C::Core::create(y_true, y_pred, threshold))>{};
            return std::optional{C::Core::create(y_true, y_pred, threshold)};
        } else {
            return std::optional{C::Core::create(y_true, y_pred)};
        }
    }();
    if (!monitor) return nullptr;
    if (!*monitor) return raise(monitor->error());
    return box_new(type, std::move(**monitor));
}

template <class C>
PyObject* streaming_push(PyObject* self, PyObject* const* argv) {
    typename C::Value y_true, y_pred;
    if (!C::scalar(argv[0], C::push_params[0], y_true) || !C::scalar(argv[1], C::push_params[1], y_pred))
        return nullptr;
    auto& core = core_of<typename C::Core>(self);
    if constexpr (std::is_void_v<decltype(core.push(y_true, y_pred))>) {
        core.push(y_true, y_pred);
        Py_RETURN_NONE;
    } else {
        return none_or_raise(core.push(y_true, y_pred));
    }
}

template <class C>
PyObject* streaming_push_batch(PyObject* self, PyObject* const* argv) {
    if constexpr (std::is_same_v<typename C::Value, float>) {
        // Two numeric arrays are read in place, block by block: the same values as the
        // conversion below, without a converted copy of the whole batch.
        F32Column yt, yp;
        if (as_f32_column(argv[0], yt) && as_f32_column(argv[1], yp)) {
            auto& core = core_of<typename C::Core>(self);
            if (auto checked = core.check_batch(yt.size, yp.size); !checked) return raise(checked.error());
            for_each_f32_block_pair(yt, yp, [&](auto t, auto p) { core.add_block(t, p); });
            Py_RETURN_NONE;
        }
    } else if constexpr (std::is_same_v<typename C::Value, std::int32_t>) {
        // Contiguous int32 arrays are counted in place.
        std::vector<std::int32_t> true_storage, pred_storage;
        std::span<const std::int32_t> y_true, y_pred;
        if (!i32_samples(argv[0], "y_true", true_storage, y_true) ||
            !i32_samples(argv[1], "y_pred", pred_storage, y_pred))
            return nullptr;
        return none_or_raise(core_of<typename C::Core>(self).push_batch(y_true, y_pred));
    }
    std::vector<typename C::Value> y_true, y_pred;
    if (!pair_sequences<C>(argv, y_true, y_pred)) return nullptr;
    return none_or_raise(core_of<typename C::Core>(self).push_batch(y_true, y_pred));
}

template <class C>
PyObject* streaming_reset_baseline(PyObject* self, PyObject* const* argv) {
    std::vector<typename C::Value> y_true, y_pred;
    if (!pair_sequences<C>(argv, y_true, y_pred)) return nullptr;
    return none_or_raise(core_of<typename C::Core>(self).reset_baseline(y_true, y_pred));
}

PyObject* logistic_reset_with_threshold(PyObject* self, PyObject* const* argv) {
    std::vector<float> y_true, y_pred;
    float threshold;
    if (!pair_sequences<LogisticClass>(argv, y_true, y_pred) || !to_f32(argv[2], "threshold", threshold))
        return nullptr;
    auto& core = core_of<LogisticRegressionStreaming>(self);
    return none_or_raise(core.reset_baseline_and_decision_threshold(y_true, y_pred, threshold));
}

// The methods every monitor has, in the order of the class's method table; the
// logistic class inserts its threshold reset after reset_baseline.
template <class C>
std::vector<FunctionBinding> streaming_methods() {
    std::vector<FunctionBinding> methods{
        make_binding<kPush<C>, streaming_push<C>>(),
        make_binding<kPushBatch<C>, streaming_push_batch<C>>(),
        make_binding<kReset<C>, streaming_reset_baseline<C>>(),
        monitor_methods::flush<C>(),
        monitor_methods::performance_snapshot<C>(),
        monitor_methods::drift_snapshot<C>(),
        monitor_methods::drift_report<C>(),
        monitor_methods::drift_report_partial_metrics<C>(),
    };
    if constexpr (std::is_same_v<C, LogisticClass>)
        methods.insert(methods.begin() + 3, make_binding<kResetWithThreshold, logistic_reset_with_threshold>());
    return methods;
}

template <class C>
bool add_streaming_class(PyObject* module) {
    static ClassBinding binding = class_binding<typename C::Core, kNew<C>, streaming_new<C>>(
        state_methods::with_state<C, true>(streaming_methods<C>()));
    return add_class(module, binding);
}

}  // namespace

const FunctionBinding py_model_perf_linear_regression_binding =
    make_binding<kLinearRegression, py_model_perf_linear_regression>();
const FunctionBinding py_model_perf_classification_binding =
    make_binding<kClassification, py_model_perf_classification>();
const FunctionBinding py_model_perf_logistic_regression_binding =
    make_binding<kLogisticRegression, py_model_perf_logistic_regression>();
const FunctionBinding py_model_perf_class_rt_full_binding =
    make_binding<kClassRtFull, full_check<classification_performance_runtime, all_classification_metrics>>();
const FunctionBinding py_model_perf_class_rt_partial_binding =
    make_binding<kClassRtPartial, partial_check<classification_performance_runtime, parse_classification>>();
const FunctionBinding py_model_perf_log_reg_rt_full_binding =
    make_binding<kLogRegRtFull, full_check<logistic_performance_runtime, all_logistic_metrics>>();
const FunctionBinding py_model_perf_log_reg_rt_partial_binding =
    make_binding<kLogRegRtPartial, partial_check<logistic_performance_runtime, parse_logistic>>();
const FunctionBinding py_model_perf_lin_reg_rt_full_binding =
    make_binding<kLinRegRtFull, full_check<regression_performance_runtime, all_regression_metrics>>();
const FunctionBinding py_model_perf_lin_reg_rt_partial_binding =
    make_binding<kLinRegRtPartial, partial_check<regression_performance_runtime, parse_regression>>();

bool add_PyBinaryClassificationStreaming(PyObject* module) { return add_streaming_class<ClassificationClass>(module); }
bool add_PyLinearRegressionStreaming(PyObject* module) { return add_streaming_class<RegressionClass>(module); }
bool add_PyLogisticRegressionStreaming(PyObject* module) { return add_streaming_class<LogisticClass>(module); }

}  // namespace tarvenn
