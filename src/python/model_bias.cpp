#include "python/model_bias.hpp"

#include "python/conversions.hpp"
#include "python/exceptions.hpp"
#include "model_bias/core.hpp"
#include "model_bias/streaming.hpp"
#include "python/monitor_methods.hpp"
#include "python/state_methods.hpp"
#include "python/report_dicts.hpp"
#include "model_bias/runtime.hpp"

namespace tarvenn {
namespace {

PyObject* analysis_result(const ColumnLabels& feature, const ColumnLabels& prediction, const ColumnLabels& truth) {
    auto record = DiscretePostTraining::from_labels(feature, prediction, truth);
    if (!record) return raise(record.error());
    auto metrics = post_training_bias(*record);
    if (!metrics) return raise(metrics.error());
    return report_to_py_dict(*metrics);
}

constexpr Signature kAnalyzer{nullptr,
                              "py_model_bias_analyzer",
                              {"feature_array", "ground_truth_array", "prediction_array", "feature_label_or_threshold",
                               "ground_truth_label_or_threshold", "prediction_label_or_threshold"},
                              6};

PyObject* py_model_bias_analyzer(PyObject*, PyObject* const* argv) {
    PyArrayObject *feature_array, *truth_array, *prediction_array;
    if (!to_numpy_array(argv[0], "feature_array", feature_array) ||
        !to_numpy_array(argv[1], "ground_truth_array", truth_array) ||
        !to_numpy_array(argv[2], "prediction_array", prediction_array))
        return nullptr;
    ColumnLabelsPtr prediction, truth, feature;
    if (!apply_label(prediction_array, argv[5], prediction) || !apply_label(truth_array, argv[4], truth) ||
        !apply_label(feature_array, argv[3], feature))
        return nullptr;
    return analysis_result(*feature, *prediction, *truth);
}

constexpr Signature kAnalyzerExplicit{
    nullptr,
    "py_model_bias_analyzer_explicit_seg",
    {"feature_array", "feat_segmentation_threshold", "feat_segmentation_label", "feat_threshold_type",
     "ground_truth_array", "gt_segmentation_threshold", "gt_segmentation_label", "gt_threshold_type",
     "prediction_array", "pred_segmentation_threshold", "pred_segmentation_label", "pred_threshold_type"},
    12};

PyObject* py_model_bias_analyzer_explicit_seg(PyObject*, PyObject* const* argv) {
    const char* const* names = kAnalyzerExplicit.params.data();
    ExplicitSegmentation feature_column, truth_column, prediction_column;
    if (!feature_column.convert(argv, names) || !truth_column.convert(argv + 4, names + 4) ||
        !prediction_column.convert(argv + 8, names + 8))
        return nullptr;
    ColumnLabelsPtr feature, truth, prediction;
    if (!feature_column.labels(feature) || !truth_column.labels(truth) || !prediction_column.labels(prediction))
        return nullptr;
    return analysis_result(*feature, *prediction, *truth);
}

// The threshold test of latest against baseline over `metrics`; the latest map is
// examined first.
PyObject* runtime_check_result(const NameMap& baseline_names, const NameMap& latest_names,
                               std::span<const ModelBiasMetric> metrics, float threshold) {
    auto latest = record_from_map<ModelBiasRuntime>(latest_names);
    if (!latest) return raise(latest.error());
    auto baseline = record_from_map<ModelBiasRuntime>(baseline_names);
    if (!baseline) return raise(baseline.error());
    return into_py_dict(DriftReport<ModelBiasMetric>::from_runtime(latest->compare(*baseline, metrics, threshold)));
}

constexpr Signature kRuntimeCheck{nullptr, "py_model_bias_runtime_check", {"baseline", "latest", "threshold"}, 2};

PyObject* py_model_bias_runtime_check(PyObject*, PyObject* const* argv) {
    RuntimeCheckArgs args;
    if (!args.convert(argv)) return nullptr;
    return runtime_check_result(args.baseline, args.latest, ModelBiasRuntime::metrics(), args.threshold);
}

constexpr Signature kPartialCheck{
    nullptr, "py_model_bias_partial_check", {"baseline", "latest", "metrics", "threshold"}, 3};

PyObject* py_model_bias_partial_check(PyObject*, PyObject* const* argv) {
    RuntimeCheckArgs args;
    if (!args.convert(argv, "metrics")) return nullptr;
    auto metrics = parse_metric_list<ModelBiasMetric>(args.metric_names);
    if (!metrics) return raise(metrics.error());
    return runtime_check_result(args.baseline, args.latest, *metrics, args.threshold);
}

// --- PyModelBiasStreaming -------------------------------------------------------------

constexpr const char* kStreaming = "PyModelBiasStreaming";

struct StreamingClass {
    using Core = StreamingModelBias;
    static constexpr const char* name = kStreaming;
};

// The three sample sequences of a batch: features, predictions, ground truth,
// each read in place when it is a contiguous int8 array.
struct SampleBatch {
    std::vector<std::int8_t> storage[3];
    std::span<const std::int8_t> features, predictions, truths;

    bool convert(PyObject* const* argv, const char* const* names) {
        return i8_samples(argv[0], names[0], storage[0], features) &&
               i8_samples(argv[1], names[1], storage[1], predictions) &&
               i8_samples(argv[2], names[2], storage[2], truths);
    }
};

StreamingModelBias& monitor(PyObject* self) { return core_of<StreamingModelBias>(self); }

constexpr Signature kNew{kStreaming, "__new__", {"features", "predictions", "ground_truth"}, 3};

PyObject* streaming_new(PyTypeObject* type, PyObject* const* argv) {
    SampleBatch batch;
    if (!batch.convert(argv, kNew.params.data())) return nullptr;
    auto created = StreamingModelBias::create(batch.features, batch.predictions, batch.truths);
    if (!created) return raise(created.error());
    return box_new(type, std::move(*created));
}

constexpr Signature kPush{kStreaming, "push", {"feature", "pred", "gt"}, 3};

PyObject* streaming_push(PyObject* self, PyObject* const* argv) {
    std::int8_t feature, prediction, truth;
    if (!to_i8(argv[0], "feature", feature) || !to_i8(argv[1], "pred", prediction) || !to_i8(argv[2], "gt", truth))
        return nullptr;
    monitor(self).push(feature, prediction, truth);
    Py_RETURN_NONE;
}

constexpr Signature kPushBatch{kStreaming, "push_batch", {"feature", "pred", "gt"}, 3};

PyObject* streaming_push_batch(PyObject* self, PyObject* const* argv) {
    SampleBatch batch;
    if (!batch.convert(argv, kPushBatch.params.data())) return nullptr;
    return none_or_raise(monitor(self).push_batch(batch.features, batch.predictions, batch.truths));
}

constexpr Signature kReset{kStreaming, "reset_baseline", {"feature", "pred", "gt"}, 3};

PyObject* streaming_reset_baseline(PyObject* self, PyObject* const* argv) {
    SampleBatch batch;
    if (!batch.convert(argv, kReset.params.data())) return nullptr;
    return none_or_raise(monitor(self).reset_baseline(batch.features, batch.predictions, batch.truths));
}

}  // namespace

const FunctionBinding py_model_bias_analyzer_binding = make_binding<kAnalyzer, py_model_bias_analyzer>();
const FunctionBinding py_model_bias_runtime_check_binding = make_binding<kRuntimeCheck, py_model_bias_runtime_check>();
const FunctionBinding py_model_bias_partial_check_binding = make_binding<kPartialCheck, py_model_bias_partial_check>();
const FunctionBinding py_model_bias_analyzer_explicit_seg_binding =
    make_binding<kAnalyzerExplicit, py_model_bias_analyzer_explicit_seg>();

bool add_PyModelBiasStreaming(PyObject* module) {
    static ClassBinding binding = class_binding<StreamingModelBias, kNew, streaming_new>(
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
