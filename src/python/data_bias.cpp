#include "python/data_bias.hpp"

#include "data_bias/core.hpp"
#include "data_bias/streaming.hpp"
#include "python/conversions.hpp"
#include "python/exceptions.hpp"
#include "python/monitor_methods.hpp"
#include "python/state_methods.hpp"
#include "python/report_dicts.hpp"
#include "data_bias/runtime.hpp"

namespace tarvenn {
namespace {

PyObject* analysis_result(const ColumnLabels& feature, const ColumnLabels& truth) {
    auto result = data_bias_analysis_core(feature, truth);
    if (!result) return raise(result.error());
    return report_to_py_dict(*result);
}

constexpr Signature kAnalyzer{nullptr, "py_data_bias_analyzer",
                              {"feature_array", "ground_truth_array", "feature_label_or_threshold",
                               "ground_truth_label_or_threshold"},
                              4, "Method to perform data bias analysis"};

PyObject* py_data_bias_analyzer(PyObject*, PyObject* const* argv) {
    PyArrayObject *feature_array, *truth_array;
    if (!to_numpy_array(argv[0], "feature_array", feature_array) ||
        !to_numpy_array(argv[1], "ground_truth_array", truth_array))
        return nullptr;
    ColumnLabelsPtr truth, feature;
    if (!apply_label(truth_array, argv[3], truth) || !apply_label(feature_array, argv[2], feature)) return nullptr;
    return analysis_result(*feature, *truth);
}

constexpr Signature kAnalyzerExplicit{nullptr, "py_data_bias_analyzer_explicit_seg",
                                      {"feature_array", "feat_segmentation_threshold", "feat_segmentation_label",
                                       "feat_threshold_type", "ground_truth_array", "gt_segmentation_threshold",
                                       "gt_segmentation_label", "gt_threshold_type"},
                                      8};

PyObject* py_data_bias_analyzer_explicit_seg(PyObject*, PyObject* const* argv) {
    const char* const* names = kAnalyzerExplicit.params.data();
    ExplicitSegmentation feature_column, truth_column;
    if (!feature_column.convert(argv, names) || !truth_column.convert(argv + 4, names + 4)) return nullptr;
    ColumnLabelsPtr feature, truth;
    if (!feature_column.labels(feature) || !truth_column.labels(truth)) return nullptr;
    return analysis_result(*feature, *truth);
}

constexpr Signature kRuntimeCheck{nullptr, "py_data_bias_runtime_check", {"baseline", "latest", "threshold"}, 2};

PyObject* py_data_bias_runtime_check(PyObject*, PyObject* const* argv) {
    RuntimeCheckArgs args;
    if (!args.convert(argv)) return nullptr;
    auto baseline_map = convert_analysis<DataBiasMetric>(args.baseline);
    if (!baseline_map) return raise(baseline_map.error());
    auto latest_map = convert_analysis<DataBiasMetric>(args.latest);
    if (!latest_map) return raise(latest_map.error());
    auto baseline = record_from_map<DataBiasRuntime>(*baseline_map);
    if (!baseline) return raise(baseline.error());
    auto latest = record_from_map<DataBiasRuntime>(*latest_map);
    if (!latest) return raise(latest.error());
    const auto failures = latest->compare(*baseline, DataBiasRuntime::metrics(), args.threshold);
    return into_py_dict(DriftReport<DataBiasMetric>::from_runtime(failures));
}

constexpr Signature kPartialCheck{
    nullptr, "py_data_bias_partial_check", {"baseline", "latest", "metrics", "threshold"}, 3};

PyObject* py_data_bias_partial_check(PyObject*, PyObject* const* argv) {
    RuntimeCheckArgs args;
    if (!args.convert(argv, "metrics")) return nullptr;
    auto metrics = parse_metric_list<DataBiasMetric>(args.metric_names);
    if (!metrics) return raise(metrics.error());
    auto latest = record_from_map<DataBiasRuntime>(args.latest);
    if (!latest) return raise(latest.error());
    auto baseline = record_from_map<DataBiasRuntime>(args.baseline);
    if (!baseline) return raise(baseline.error());
    const auto failures = latest->compare(*baseline, *metrics, args.threshold);
    return into_py_dict(DriftReport<DataBiasMetric>::from_runtime(failures));
}

// --- PyDataBiasStreaming ------------------------------------------------------------

constexpr const char* kStreaming = "PyDataBiasStreaming";

struct StreamingClass {
    using Core = StreamingDataBias;
    static constexpr const char* name = kStreaming;
};

bool sample_sequences(PyObject* f, PyObject* g, const char* f_name, const char* g_name,
                      std::vector<std::int8_t>& features, std::vector<std::int8_t>& truths) {
    return to_i8_seq(f, f_name, features) && to_i8_seq(g, g_name, truths);
}

constexpr Signature kNew{kStreaming, "__new__", {"feature_data", "gt_data"}, 2};

PyObject* streaming_new(PyTypeObject* type, PyObject* const* argv) {
    std::vector<std::int8_t> features, truths;
    if (!sample_sequences(argv[0], argv[1], "feature_data", "gt_data", features, truths)) return nullptr;
    auto monitor = StreamingDataBias::create(features, truths);
    if (!monitor) return raise(monitor.error());
    return box_new(type, std::move(*monitor));
}

constexpr Signature kPush{kStreaming, "push", {"f", "g"}, 2};

PyObject* streaming_push(PyObject* self, PyObject* const* argv) {
    std::int8_t feature, truth;
    if (!to_i8(argv[0], "f", feature) || !to_i8(argv[1], "g", truth)) return nullptr;
    core_of<StreamingDataBias>(self).push(feature, truth);
    Py_RETURN_NONE;
}

constexpr Signature kPushBatch{kStreaming, "push_batch", {"f", "g"}, 2};

PyObject* streaming_push_batch(PyObject* self, PyObject* const* argv) {
    std::vector<std::int8_t> feature_storage, truth_storage;
    std::span<const std::int8_t> features, truths;
    if (!i8_samples(argv[0], "f", feature_storage, features) || !i8_samples(argv[1], "g", truth_storage, truths))
        return nullptr;
    return none_or_raise(core_of<StreamingDataBias>(self).push_batch(features, truths));
}

constexpr Signature kReset{kStreaming, "reset_baseline", {"f", "g"}, 2};

PyObject* streaming_reset_baseline(PyObject* self, PyObject* const* argv) {
    std::vector<std::int8_t> features, truths;
    if (!sample_sequences(argv[0], argv[1], "f", "g", features, truths)) return nullptr;
    return none_or_raise(core_of<StreamingDataBias>(self).reset_baseline(features, truths));
}

}  // namespace

const FunctionBinding py_data_bias_analyzer_binding = make_binding<kAnalyzer, py_data_bias_analyzer>();
const FunctionBinding py_data_bias_runtime_check_binding = make_binding<kRuntimeCheck, py_data_bias_runtime_check>();
const FunctionBinding py_data_bias_partial_check_binding = make_binding<kPartialCheck, py_data_bias_partial_check>();
const FunctionBinding py_data_bias_analyzer_explicit_seg_binding =
    make_binding<kAnalyzerExplicit, py_data_bias_analyzer_explicit_seg>();

bool add_PyDataBiasStreaming(PyObject* module) {
    static ClassBinding binding = class_binding<StreamingDataBias, kNew, streaming_new>(
        state_methods::with_state<StreamingClass, true>({
            make_binding<kPush, streaming_push>(),
            make_binding<kPushBatch, streaming_push_batch>(),
            make_binding<kReset, streaming_reset_baseline>(),
            monitor_methods::flush<StreamingClass>(),
            monitor_methods::drift_snapshot<StreamingClass>(),
            monitor_methods::drift_report<StreamingClass>(),
            monitor_methods::drift_report_partial_metrics<StreamingClass>(),
            monitor_methods::performance_snapshot<StreamingClass>(),
        }));
    return add_class(module, binding);
}

}  // namespace tarvenn
