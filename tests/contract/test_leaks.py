"""Failing calls of every family, argument errors included, leave no memory behind:
each fails after some work was done (converted items, built baselines, parsed names)."""
import os

import numpy as np
import pytest

import _tarvenn as t
from surface_calls import CLASSIFICATION, MODEL_BIAS, REGRESSION, all_callables, instance

DATA_BIAS_METRICS = {"ClassImbalance": 0.1, "DifferenceInProportionOfLabels": 0.2, "KlDivergence": 0.3,
                     "JsDivergence": 0.1, "LpNorm": 0.2, "TotalVariationDistance": 0.1, "KolmogorovSmirnov": 0.2}


def _rss_pages():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1])


def _data_bias_failing_calls():
    feature = np.arange(1000, dtype=np.float64)
    bad_items = np.array(["a"] * 999 + [None], dtype=object)
    monitor = t.PyDataBiasStreaming([1, 0], [1, 0])
    return [
        lambda: t.py_data_bias_analyzer(feature, bad_items, 1, 1),
        lambda: t.py_data_bias_analyzer(feature, feature, "x", 1.0),
        lambda: t.py_data_bias_runtime_check({"a": 1.0}, {}),
        lambda: t.py_data_bias_partial_check(DATA_BIAS_METRICS, DATA_BIAS_METRICS, ["Foo"] * 50),
        lambda: t.py_data_bias_analyzer(feature, [1], 1, 1),
        lambda: monitor.push_batch(list(range(100)) + [500], [0] * 101),
        lambda: t.PyDataBiasStreaming([1, 1], [1, 1]),
    ]


def f64(values):
    return np.array(values, dtype=np.float64)


def _failing_calls():
    """Failing calls of the drift, model bias and model performance families, each
    failing after some work was done (converted items, built baselines, parsed names)."""
    base = f64(np.arange(2000.0))
    labels = ["a", "b"] * 500
    bad_labels = labels + [None]
    cont = t.PyContinuousDataDrift(base, None)
    stream = t.PyStreamingContinuousDataDriftDecay(base, None, 2)
    cat_flush = t.PyStreamingCategoricalDataDriftFlush(labels, 10, None)
    model_bias = instance("PyModelBiasStreaming")
    logistic = instance("PyLogisticRegressionStreaming")
    linear = instance("PyLinearRegressionStreaming")
    feature = np.arange(1000) % 2
    scores = np.linspace(0, 1, 1000)
    names = ["JensenShannon"] * 40 + ["Nope"]
    return [
        lambda: t.PyContinuousDataDrift(base[::2], None),
        lambda: t.PyContinuousDataDrift(np.append(base, np.nan), None),
        lambda: t.PyContinuousDataDrift(f64([0.0, 1.0, 2.0, 1e12, 0.5]), None),
        lambda: t.PyCategoricalDataDrift(bad_labels),
        lambda: cont.compute_drift_mutliple_criteria(base, names),
        lambda: cont.reset_baseline(f64([1.0, np.nan])),
        lambda: t.py_compute_drift_categorical_distribtuion(labels, bad_labels, ["JensenShannon"]),
        lambda: t.py_compute_drift_continuous_distribtuion(base, f64([]), ["KullbackLeibler"], "Scott"),
        lambda: stream.compute_drift_multiple_criteria(names),
        lambda: stream.update_stream_batch(f64([])),
        lambda: stream.reset_baseline(f64([1.0])),
        lambda: t.PyStreamingContinuousDataDriftDecay(base, None, 0),
        lambda: cat_flush.update_stream_batch(bad_labels),
        lambda: cat_flush.reset_baseline([]),
        lambda: t.py_model_bias_analyzer(feature, feature, feature[:-1], 1, 1, 1),
        lambda: t.py_model_bias_partial_check(MODEL_BIAS, MODEL_BIAS, ["Foo"] * 30),
        lambda: model_bias.push_batch(list(feature) + [None], list(feature) + [1], list(feature) + [1]),
        lambda: t.PyModelBiasStreaming([1, 1], [1, 0], [1, 0]),
        lambda: t.py_model_perf_classification(list(scores), scores),
        lambda: t.py_model_perf_logistic_regression(scores, np.append(scores[1:], np.nan), 0.5),
        lambda: t.py_model_perf_linear_regression(scores, scores[:-1]),
        lambda: t.py_model_perf_class_rt_partial(CLASSIFICATION, CLASSIFICATION, ["Foo", "LogLoss"]),
        lambda: t.py_model_perf_lin_reg_rt_full(REGRESSION, {}),
        lambda: logistic.reset_baseline_and_decision_threshold(list(scores), list(scores) + ["x"], 0.2),
        lambda: linear.push_batch(list(scores), list(scores[:-1])),
        lambda: t.PyLinearRegressionStreaming([], []),
    ]


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc")
def test_failing_calls_of_every_family_do_not_leak():
    calls = _data_bias_failing_calls() + _failing_calls()
    argument_errors = [make()[0] for _, make in all_callables()]

    def run():
        for call in calls:
            with pytest.raises((TypeError, ValueError, OverflowError)):
                call()
        for fn in argument_errors:
            with pytest.raises(TypeError):
                fn(no_such_parameter=1)

    for _ in range(100):
        run()
    before = _rss_pages()
    for _ in range(1500):
        run()
    grown_kib = (_rss_pages() - before) * 4
    assert grown_kib < 2048, f"RSS grew by {grown_kib} KiB"
