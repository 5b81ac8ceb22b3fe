"""Error texts that every family shares, and the memory behaviour of failing calls."""
import os

import numpy as np
import pytest

import _tarvenn as t
from surface_calls import CLASSIFICATION, DATA_BIAS, LOGISTIC, MODEL_BIAS, REGRESSION, all_callables, instance


def escaped(name):
    out = []
    for ch in name:
        if ch in '"\\':
            out.append("\\" + ch)
        elif ch in "\n\t\r":
            out.append({"\n": "\\n", "\t": "\\t", "\r": "\\r"}[ch])
        elif ord(ch) < 0x20 or ord(ch) == 0x7F:
            out.append("\\u{%x}" % ord(ch))
        else:
            out.append(ch)
    return '"' + "".join(out) + '"'


def rejected(names):
    return "Metrics: [" + ", ".join(escaped(n) for n in names) + "] are not supported"


# Every entry that parses a metric-name list, with a valid name of its kind.
METRIC_LISTS = {
    "data bias check": (lambda m: t.py_data_bias_partial_check(DATA_BIAS, DATA_BIAS, m), "LpNorm"),
    "model bias check": (lambda m: t.py_model_bias_partial_check(MODEL_BIAS, MODEL_BIAS, m), "DisparateImpact"),
    "classification check": (lambda m: t.py_model_perf_class_rt_partial(CLASSIFICATION, CLASSIFICATION, m), "Accuracy"),
    "logistic check": (lambda m: t.py_model_perf_log_reg_rt_partial(LOGISTIC, LOGISTIC, m), "LogLoss"),
    "regression check": (lambda m: t.py_model_perf_lin_reg_rt_partial(REGRESSION, REGRESSION, m), "RSquared"),
    "data bias monitor": (lambda m: instance("PyDataBiasStreaming").drift_report_partial_metrics(m, 0.1), "LpNorm"),
    "model bias monitor": (lambda m: instance("PyModelBiasStreaming").drift_report_partial_metrics(m, 0.1),
                           "DisparateImpact"),
    "classification monitor": (lambda m: instance("PyBinaryClassificationStreaming")
                               .drift_report_partial_metrics(m, 0.1), "Accuracy"),
    "logistic monitor": (lambda m: instance("PyLogisticRegressionStreaming").drift_report_partial_metrics(m, 0.1),
                         "LogLoss"),
    "regression monitor": (lambda m: instance("PyLinearRegressionStreaming").drift_report_partial_metrics(m, 0.1),
                           "RSquared"),
}

AWKWARD_NAMES = [
    "a\nb", "tab\there", "cr\r", 'say "hi"', "back\\slash", "\x00", "\x01\x1f", "\x7f", "\x80\x9f", " ",
    "é", "\u2028", "日本", "\U0001F600", "", "accuracy",
]


@pytest.mark.parametrize("entry", sorted(METRIC_LISTS))
def test_rejected_metric_names_are_escaped_and_all_listed(entry):
    call, valid = METRIC_LISTS[entry]
    with pytest.raises(ValueError) as info:
        call([valid] + AWKWARD_NAMES + [valid, AWKWARD_NAMES[0]])
    assert str(info.value) == rejected(AWKWARD_NAMES + [AWKWARD_NAMES[0]])
    assert info.value.__cause__ is None and info.value.__context__ is None
    with pytest.raises(ValueError) as info:
        call([valid + " "])
    assert str(info.value) == rejected([valid + " "])


@pytest.mark.parametrize("entry", sorted(METRIC_LISTS))
def test_metric_names_must_be_a_sequence_of_str(entry):
    call, valid = METRIC_LISTS[entry]
    for bad in (valid, [valid, 1], None, [b"LpNorm"]):
        with pytest.raises(TypeError, match=r"^argument '(metrics|evaluation_metrics)': "):
            call(bad)
    assert call((valid,)) == call([valid]) == call(np.array([valid]))


def _rss_pages():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1])


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
    calls = _failing_calls()
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
