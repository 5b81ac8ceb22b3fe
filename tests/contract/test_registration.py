"""The module surface: registration order, text signatures and docstrings, and the
table of calls that covers every function, constructor and method."""
import pytest

import _tarvenn as t
from surface_calls import CONSTRUCTORS, FUNCTIONS as SURFACE_FUNCTIONS, METHODS, public_methods

FUNCTIONS = [
    ("py_data_bias_analyzer", "(feature_array, ground_truth_array, feature_label_or_threshold, ground_truth_label_or_threshold)"),
    ("py_data_bias_runtime_check", "(baseline, latest, threshold=0.10)"),
    ("py_data_bias_partial_check", "(baseline, latest, metrics, threshold=0.10)"),
    ("py_data_bias_analyzer_explicit_seg", "(feature_array, feat_segmentation_threshold, feat_segmentation_label, feat_threshold_type, ground_truth_array, gt_segmentation_threshold, gt_segmentation_label, gt_threshold_type)"),
    ("py_model_bias_analyzer", "(feature_array, ground_truth_array, prediction_array, feature_label_or_threshold, ground_truth_label_or_threshold, prediction_label_or_threshold)"),
    ("py_model_bias_runtime_check", "(baseline, latest, threshold=0.10)"),
    ("py_model_bias_partial_check", "(baseline, latest, metrics, threshold=0.10)"),
    ("py_model_bias_analyzer_explicit_seg", "(feature_array, feat_segmentation_threshold, feat_segmentation_label, feat_threshold_type, ground_truth_array, gt_segmentation_threshold, gt_segmentation_label, gt_threshold_type, prediction_array, pred_segmentation_threshold, pred_segmentation_label, pred_threshold_type)"),
    ("py_model_perf_linear_regression", "(y_true_src, y_pred_src)"),
    ("py_model_perf_class_rt_full", "(baseline, latest, threshold=0.10)"),
    ("py_model_perf_class_rt_partial", "(baseline, latest, evaluation_metrics, threshold=0.10)"),
    ("py_model_perf_classification", "(y_true_src, y_pred_src)"),
    ("py_model_perf_log_reg_rt_partial", "(baseline, latest, evaluation_metrics, threshold=0.10)"),
    ("py_model_perf_logistic_regression", "(y_true_src, y_pred_src, threshold)"),
    ("py_model_perf_lin_reg_rt_full", "(baseline, latest, threshold=0.10)"),
    ("py_model_perf_lin_reg_rt_partial", "(baseline, latest, evaluation_metrics, threshold=0.10)"),
    ("py_model_perf_log_reg_rt_full", "(baseline, latest, threshold=0.10)"),
    ("py_compute_drift_categorical_distribtuion", "(baseline, candidate, drift_metrics)"),
    ("py_compute_drift_continuous_distribtuion", "(baseline, candidate, drift_metrics, quantile_type)"),
]

CLASSES = [
    ("PyCategoricalDataDrift", "(baseline_data)"),
    ("PyContinuousDataDrift", "(baseline_data, quantile_type_str)"),
    ("PyStreamingContinuousDataDriftFlush", "(baseline_data, quantile_type_str, flush_rate_opt, flush_cadence_opt)"),
    ("PyStreamingContinuousDataDriftDecay", "(baseline_data, quantile_type_str, decay_opt)"),
    ("PyStreamingCategoricalDataDriftFlush", "(baseline_data, flush_rate, flush_cadence)"),
    ("PyStreamingCategoricalDataDriftDecay", "(baseline_data, half_life_opt)"),
    ("PyDataBiasStreaming", "(feature_data, gt_data)"),
    ("PyModelBiasStreaming", "(features, predictions, ground_truth)"),
    ("PyBinaryClassificationStreaming", "(y_true, y_pred)"),
    ("PyLinearRegressionStreaming", "(y_true, y_pred)"),
    ("PyLogisticRegressionStreaming", "(y_true, y_pred, threshold)"),
]

REGISTERED = [name for name in vars(t) if not name.startswith("__")]


def test_registration_order_and_surface():
    expected = [name for name, _ in FUNCTIONS] + [name for name, _ in CLASSES]
    assert REGISTERED == expected
    assert t.__doc__ == ""


@pytest.mark.parametrize("name,signature", FUNCTIONS + CLASSES)
def test_text_signatures(name, signature):
    obj = getattr(t, name)
    assert obj.__text_signature__ == signature
    if "DataDrift" in name:
        return  # the drift classes carry class docstrings, checked in test_drift.py
    expected_doc = "Method to perform data bias analysis" if name == "py_data_bias_analyzer" else None
    assert obj.__doc__ == expected_doc


def test_method_signatures_and_docs():
    cls = t.PyDataBiasStreaming
    assert cls.push.__text_signature__ == "($self, f, g)"
    assert cls.flush.__text_signature__ == "($self)"
    assert cls.drift_report_partial_metrics.__text_signature__ == "($self, metrics, drift_threshold)"
    assert cls.flush.__doc__ is None


def test_table_covers_the_whole_surface():
    assert sorted([*SURFACE_FUNCTIONS, *CONSTRUCTORS]) == sorted(n for n in vars(t) if not n.startswith("__"))
    assert len(SURFACE_FUNCTIONS) == 19 and len(CONSTRUCTORS) == 11
    for cls, methods in METHODS.items():
        assert sorted(methods) == public_methods(getattr(t, cls)), cls
