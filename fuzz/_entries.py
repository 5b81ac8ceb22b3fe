"""One valid call of every entry of the module: the starting point that the fuzz targets
perturb. Kept here rather than shared with the tests, so the fuzz targets do not depend on how
the test suite is laid out."""
import numpy as np

import _tarvenn as t

FEATURE = np.array([1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0], dtype=np.int64)
PRED = np.array([1, 1, 0, 0, 1, 1, 0, 1, 0, 0, 1], dtype=np.int64)
TRUTH = np.array([1, 0, 1, 0, 1, 1, 0, 0, 1, 0, 1], dtype=np.int64)
Y_TRUE = np.array([1.0, 0.0, 1.0, 0.0, 1.0])
Y_PRED = np.array([1.0, 0.0, 0.0, 1.0, 1.0])
SCORES = np.array([0.9, 0.2, 0.4, 0.7, 0.8])
BASE = np.arange(20.0)
DRIFT = ["JensenShannon", "KullbackLeibler"]

DATA_BIAS = t.py_data_bias_analyzer(FEATURE, TRUTH, 1, 1)
MODEL_BIAS = t.py_model_bias_analyzer(FEATURE, TRUTH, PRED, 1, 1, 1)
CLASSIFICATION = t.py_model_perf_classification(Y_TRUE, Y_PRED)
LOGISTIC = t.py_model_perf_logistic_regression(Y_TRUE, SCORES, 0.5)
REGRESSION = t.py_model_perf_linear_regression(Y_TRUE, SCORES)

BIAS_FUNCTIONS = {
    "py_data_bias_analyzer": lambda: (FEATURE, TRUTH, 1, 1),
    "py_data_bias_runtime_check": lambda: (DATA_BIAS, DATA_BIAS, 0.2),
    "py_data_bias_partial_check": lambda: (DATA_BIAS, DATA_BIAS, ["LpNorm"], 0.2),
    "py_data_bias_analyzer_explicit_seg":
        lambda: (FEATURE, 0.5, None, "GreaterThan", TRUTH, 0.5, None, "GreaterThan"),
    "py_model_bias_analyzer": lambda: (FEATURE, TRUTH, PRED, 1, 1, 1),
    "py_model_bias_runtime_check": lambda: (MODEL_BIAS, MODEL_BIAS, 0.2),
    "py_model_bias_partial_check": lambda: (MODEL_BIAS, MODEL_BIAS, ["DisparateImpact"], 0.2),
    "py_model_bias_analyzer_explicit_seg":
        lambda: (FEATURE, 0.5, None, "GreaterThan", TRUTH, 0.5, None, "GreaterThan", PRED, 0.5, None,
                 "GreaterThan"),
}

PERF_DRIFT_FUNCTIONS = {
    "py_model_perf_linear_regression": lambda: (Y_TRUE, SCORES),
    "py_model_perf_class_rt_full": lambda: (CLASSIFICATION, CLASSIFICATION, 0.2),
    "py_model_perf_class_rt_partial": lambda: (CLASSIFICATION, CLASSIFICATION, ["Accuracy"], 0.2),
    "py_model_perf_classification": lambda: (Y_TRUE, Y_PRED),
    "py_model_perf_log_reg_rt_partial": lambda: (LOGISTIC, LOGISTIC, ["LogLoss"], 0.2),
    "py_model_perf_logistic_regression": lambda: (Y_TRUE, SCORES, 0.5),
    "py_model_perf_lin_reg_rt_full": lambda: (REGRESSION, REGRESSION, 0.2),
    "py_model_perf_lin_reg_rt_partial": lambda: (REGRESSION, REGRESSION, ["RSquared"], 0.2),
    "py_model_perf_log_reg_rt_full": lambda: (LOGISTIC, LOGISTIC, 0.2),
    "py_compute_drift_categorical_distribtuion": lambda: (["a", "b", "b"], ["a", "c"], DRIFT),
    "py_compute_drift_continuous_distribtuion": lambda: (BASE, np.array([1.5, 30.0]), DRIFT, "Scott"),
}


def _drift_methods(runtime, baseline):
    return {
        "compute_drift": lambda: (runtime, "JensenShannon"),
        "compute_drift_mutliple_criteria": lambda: (runtime, DRIFT),
        "reset_baseline": lambda: (baseline,),
        "export_baseline": lambda: (),
    }


def _streaming(sample, batch, baseline, flush):
    methods = {
        "compute_drift": lambda: ("JensenShannon",),
        "compute_drift_multiple_criteria": lambda: (DRIFT,),
        "reset_baseline": lambda: (baseline,),
        "update_stream_batch": lambda: (batch,),
        "update_stream": lambda: (sample,),
        "export_snapshot": lambda: (),
        "export_baseline": lambda: (),
    }
    if flush:
        methods["flush"] = lambda: ()
    return methods


def _monitor(push, batch, reset, metrics):
    return {
        "push": lambda: push,
        "push_batch": lambda: batch,
        "reset_baseline": lambda: reset,
        "flush": lambda: (),
        "drift_snapshot": lambda: (),
        "drift_report": lambda: (0.1,),
        "drift_report_partial_metrics": lambda: (metrics, 0.1),
        "performance_snapshot": lambda: (),
    }


DRIFT_PROBES = ("export_baseline",)
STREAM_PROBES = ("export_baseline", "export_snapshot")
MONITOR_PROBES = ("performance_snapshot", "drift_snapshot")

# class -> (valid constructor args, {method: valid args}, read-only probes of the state)
DRIFT_CLASSES = {
    "PyCategoricalDataDrift": (lambda: (["a", "b", "b"],), _drift_methods(["a", "c"], ["x", "y"]), DRIFT_PROBES),
    "PyContinuousDataDrift": (lambda: (BASE, "Sturges"), _drift_methods(np.array([1.5, 30.0]), np.arange(50.0)),
                              DRIFT_PROBES),
    "PyStreamingContinuousDataDriftFlush": (lambda: (BASE, "Scott", 5, 100),
                                            _streaming(2.5, np.array([1.0, 40.0]), np.arange(50.0), True),
                                            STREAM_PROBES),
    "PyStreamingContinuousDataDriftDecay": (lambda: (BASE, None, 3),
                                            _streaming(2.5, np.array([1.0, 40.0]), np.arange(50.0), False),
                                            STREAM_PROBES),
    "PyStreamingCategoricalDataDriftFlush": (lambda: (["a", "b", "b"], 5, 100),
                                             _streaming("a", ["a", "z"], ["x", "y"], True), STREAM_PROBES),
    "PyStreamingCategoricalDataDriftDecay": (lambda: (["a", "b", "b"], 3),
                                             _streaming("a", ["a", "z"], ["x", "y"], False), STREAM_PROBES),
}

MONITOR_CLASSES = {
    "PyDataBiasStreaming": (lambda: ([1, 0, 1, 0], [1, 1, 0, 0]),
                            _monitor((1, 0), ([1, 0, 0], [1, 1, 0]), ([1, 0, 1, 0], [0, 1, 1, 0]), ["LpNorm"]),
                            MONITOR_PROBES),
    "PyModelBiasStreaming": (lambda: (list(FEATURE), list(PRED), list(TRUTH)),
                             _monitor((1, 1, 0), (FEATURE, PRED, TRUTH), (FEATURE, PRED, TRUTH[::-1]),
                                      ["DisparateImpact"]), MONITOR_PROBES),
    "PyBinaryClassificationStreaming": (lambda: ([1, 0, 1, 0], [1, 0, 0, 1]),
                                        _monitor((1, 0), ([1, 0], [1, 1]), ([1, 0, 1], [1, 1, 0]), ["Accuracy"]),
                                        MONITOR_PROBES),
    "PyLinearRegressionStreaming": (lambda: ([1.0, 2.0, 3.0], [1.5, 2.0, 2.0]),
                                    _monitor((1.0, 2.0), ([1.0, 2.0], [1.5, 2.5]), ([1.0, 2.0], [2.0, 2.0]),
                                             ["RSquared"]), MONITOR_PROBES),
    "PyLogisticRegressionStreaming": (lambda: ([1.0, 0.0, 1.0, 0.0], [0.8, 0.3, 0.4, 0.6], 0.5),
                                      dict(_monitor((1.0, 0.9), ([1.0, 0.0], [0.7, 0.2]), ([1.0, 0.0], [0.6, 0.4]),
                                                    ["LogLoss"]),
                                           reset_baseline_and_decision_threshold=lambda: ([1.0, 0.0], [0.6, 0.4], 0.3)),
                                      MONITOR_PROBES),
}
