"""Streaming performance monitors."""
import math

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import _tarvenn as t
from perf_helpers import (CLASS_KEYS, LOG_KEYS, REG_KEYS, assert_metrics, count_metrics, counts, f32,
                          log_loss_term, root_f32)

EMPTY = r"^Empty data vectors$"
MISMATCH = r"^Data vectors must be equal length$"
INVALID = r"^Metric cannot be computed with given data$"


def state(monitor):
    """Everything observable about a monitor, NaN-safe, for before/after comparisons."""
    try:
        return repr(sorted(monitor.performance_snapshot().items())) + repr(sorted(monitor.drift_snapshot().items()))
    except ValueError as e:
        return str(e)


# --- common behaviour -----------------------------------------------------------

MONITORS = [
    lambda: t.PyLinearRegressionStreaming([1.0, 2.0, 3.0], [1.5, 2.0, 2.0]),
    lambda: t.PyLogisticRegressionStreaming([1.0, 0.0, 1.0], [0.8, 0.3, 0.4], 0.5),
    lambda: t.PyBinaryClassificationStreaming([1, 0, 1], [1, 0, 0]),
]


@pytest.mark.parametrize("make", MONITORS)
def test_empty_stream_fails_until_pushed_and_after_flush(make):
    m = make()
    for call in (m.performance_snapshot, m.drift_snapshot, lambda: m.drift_report(0.1),
                 lambda: m.drift_report_partial_metrics([], 0.1)):
        with pytest.raises(ValueError, match=EMPTY):
            call()
    m.push(1, 1)
    assert m.drift_report_partial_metrics([], 0.1) == {"passed": True}
    m.flush()
    with pytest.raises(ValueError, match=EMPTY):
        m.drift_report(0.1)


@pytest.mark.parametrize("make", MONITORS)
def test_failed_calls_change_nothing(make):
    m = make()
    m.push_batch([1, 0], [1, 1])
    before = state(m)
    with pytest.raises(ValueError, match=MISMATCH):
        m.push_batch([1, 0, 1], [1, 0])
    with pytest.raises(ValueError, match=MISMATCH):
        m.reset_baseline([1, 0, 1], [1, 0])
    with pytest.raises(TypeError, match=r"^argument 'y_pred': "):
        m.push_batch([1, 0], "10")
    with pytest.raises(TypeError):
        m.push(1, "x")
    with pytest.raises(ValueError, match=r"^Metrics: \[\"Nope\"\] are not supported$"):
        m.drift_report_partial_metrics(["Nope"], 0.1)
    assert state(m) == before


def test_metric_names_are_parsed_before_the_emptiness_check():
    m = t.PyBinaryClassificationStreaming([1], [1])
    with pytest.raises(ValueError, match=r'^Metrics: \["LogLoss"\] are not supported$'):
        m.drift_report_partial_metrics(["LogLoss"], 0.1)
    log = t.PyLogisticRegressionStreaming([1.0], [0.9], 0.5)
    with pytest.raises(ValueError, match=EMPTY):
        log.drift_report_partial_metrics(["LogLoss"], 0.1)


def test_signatures():
    assert t.PyLinearRegressionStreaming.__text_signature__ == "(y_true, y_pred)"
    assert t.PyLinearRegressionStreaming.push.__text_signature__ == "($self, t, p)"
    assert t.PyLogisticRegressionStreaming.reset_baseline_and_decision_threshold.__text_signature__ == \
        "($self, y_true, y_pred, threshold)"
    with pytest.raises(TypeError, match=r"^PyBinaryClassificationStreaming.flush\(\) takes 0 positional "
                                        r"arguments but 1 was given$"):
        t.PyBinaryClassificationStreaming([1], [1]).flush(1)
    with pytest.raises(TypeError, match=r"^PyLogisticRegressionStreaming.__new__\(\) missing 1 required"):
        t.PyLogisticRegressionStreaming([1.0], [1.0])


# --- pushing the baseline data reproduces the baseline ------------------------

finite = st.floats(-0.875, 1e4, allow_nan=False, width=32)


@settings(max_examples=60, deadline=None)
@given(st.lists(st.tuples(finite, finite), min_size=1, max_size=40))
def test_regression_stream_of_baseline_data_has_no_drift(pairs):
    y_true, y_pred = [a for a, _ in pairs], [b for _, b in pairs]
    m = t.PyLinearRegressionStreaming(y_true, y_pred)
    m.push_batch(np.array(y_true, dtype=np.float32), np.array(y_pred))
    baseline = t.py_model_perf_linear_regression(np.array(y_true), np.array(y_pred))
    current = m.performance_snapshot()
    for key in REG_KEYS:
        b, c = f32(baseline[key]), f32(current[key])
        if key.startswith("Root"):
            # The stream narrows the mean to 32 bits before taking the root; the
            # batch roots the 64-bit mean (so a tiny mean may differ by underflow:
            # a subnormal 32-bit mean keeps only a few significant bits).
            mean = f32(current[key[len("Root"):]])
            assert c == root_f32(key, mean), key
            assert b == c or abs(b - c) <= np.spacing(b) or mean < np.finfo(np.float32).tiny, key
        else:
            assert b == c or (math.isnan(b) and math.isnan(c)), key


@settings(max_examples=60, deadline=None)
@given(st.lists(st.tuples(st.sampled_from([0.0, 1.0]), st.floats(0, 1, width=32)), min_size=1, max_size=40),
       st.floats(0.0625, 0.9375, width=32))
def test_logistic_stream_of_baseline_data_has_no_drift(pairs, threshold):
    y_true, y_pred = [a for a, _ in pairs], [b for _, b in pairs]
    m = t.PyLogisticRegressionStreaming(y_true, y_pred, threshold)
    for y, p in pairs:
        m.push(y, p)
    drift = m.drift_snapshot()
    assert all(v == 0 or math.isnan(v) for v in drift.values()), drift
    assert drift["LogLoss"] == 0


@settings(max_examples=60, deadline=None)
@given(st.lists(st.tuples(st.integers(-3, 3), st.integers(-3, 3)), min_size=1, max_size=40))
def test_classification_stream_of_baseline_data_has_no_drift(pairs):
    y_true, y_pred = [a for a, _ in pairs], [b for _, b in pairs]
    m = t.PyBinaryClassificationStreaming(y_true, y_pred)
    m.push_batch(np.array(y_true), np.array(y_pred, dtype=np.int64))
    assert_metrics(m.performance_snapshot(), count_metrics(*counts([a == 1 for a in y_true],
                                                                    [b == 1 for b in y_pred])))
    assert all(v == 0 or math.isnan(v) for v in m.drift_snapshot().values())


# --- regression -------------------------------------------------------------------

def test_regression_reports_rising_errors():
    m = t.PyLinearRegressionStreaming([0.0, 0.0], [1.0, -1.0])  # MeanSquaredError 1
    m.push_batch([0.0, 0.0], [2.0, -2.0])  # MeanSquaredError 4
    report = m.drift_report(0.5)
    failed = {e["metric"]: e["drift"] for e in report["failed_report"]}
    assert failed["MeanSquaredError"] == 3.0 and failed["RootMeanSquaredError"] == 1.0
    assert failed["MaxError"] == 1.0 and "RSquared" not in failed
    assert m.drift_snapshot()["MeanSquaredError"] == -3.0  # baseline − current, unfiltered
    partial = m.drift_report_partial_metrics(["MaxError", "MaxError"], 0.5)
    assert partial["failed_report"] == [{"metric": "MaxError", "drift": 1.0}]
    # Smaller errors than the baseline pass.
    better = t.PyLinearRegressionStreaming([0.0, 0.0], [2.0, -2.0])
    better.push_batch([0.0, 0.0], [1.0, -1.0])
    assert better.drift_report(0.5) == {"passed": True}


def test_regression_zero_drift_fails_at_zero_threshold_and_reset_keeps_stream():
    m = t.PyLinearRegressionStreaming([1.0, 2.0, 4.0], [1.5, 2.0, 3.0])
    m.push_batch([1.0, 2.0, 4.0], [1.5, 2.0, 3.0])
    failed = {e["metric"] for e in m.drift_report(0.0)["failed_report"]}
    assert "MaxError" in failed and "MeanSquaredError" in failed
    m.reset_baseline([1.0, 2.0], [1.0, 2.0])
    assert m.performance_snapshot()["MaxError"] == 1.0
    with pytest.raises(ValueError, match=EMPTY):
        m.reset_baseline([], [])
    with pytest.raises(ValueError, match=EMPTY):
        m.push_batch([], [])
    with pytest.raises(ValueError, match=EMPTY):
        t.PyLinearRegressionStreaming([], [])


# --- logistic regression ------------------------------------------------------------

def test_logistic_stream_takes_ground_truth_as_hard_label():
    m = t.PyLogisticRegressionStreaming([0.7], [0.9], 0.5)
    assert m.drift_snapshot  # built: 0.7 is a positive in the baseline
    m.push(0.7, 0.9)
    snap = m.performance_snapshot()
    assert snap["PrecisionPositive"] == 0.0 and math.isnan(snap["RecallPositive"])
    assert snap["LogLoss"] == float(-log_loss_term(0.7, 0.9))


def test_logistic_rising_log_loss_fails():
    m = t.PyLogisticRegressionStreaming([1.0, 0.0], [0.9, 0.1], 0.5)
    m.push_batch([1.0, 0.0], [0.6, 0.4])
    report = m.drift_report(0.2)
    failed = {e["metric"]: e["drift"] for e in report["failed_report"]}
    rise = f32(-(float(log_loss_term(1, 0.6)) + float(log_loss_term(0, 0.4))) / 2) - \
        f32(-(float(log_loss_term(1, 0.9)) + float(log_loss_term(0, 0.1))) / 2)
    assert failed == {"LogLoss": float(rise)}
    assert m.drift_report_partial_metrics(["Accuracy"], 0.2) == {"passed": True}


def test_logistic_confident_push_is_clipped_and_nan_flows_until_flush():
    m = t.PyLogisticRegressionStreaming([1.0, 0.0], [0.9, 0.1], 0.5)
    m.push(1.0, 1.0)
    assert math.isfinite(m.performance_snapshot()["LogLoss"])
    m.push(1.0, float("nan"))
    assert math.isnan(m.performance_snapshot()["LogLoss"])
    assert "LogLoss" not in {e["metric"] for e in m.drift_report(-10).get("failed_report", [])}
    m.flush()
    m.push(0.0, 0.2)
    assert m.performance_snapshot()["LogLoss"] == float(-log_loss_term(0.0, 0.2))


def test_logistic_resets():
    m = t.PyLogisticRegressionStreaming([1.0, 0.0, 1.0], [0.8, 0.3, 0.4], 0.5)
    m.push(1.0, 0.45)  # a false negative at 0.5
    before = state(m)
    with pytest.raises(ValueError, match=MISMATCH):
        m.reset_baseline_and_decision_threshold([1.0], [0.9, 0.2], 0.4)
    with pytest.raises(TypeError, match=INVALID):
        m.reset_baseline_and_decision_threshold([], [], 0.4)
    with pytest.raises(TypeError, match=INVALID):
        m.reset_baseline([1.0], [float("nan")])
    assert state(m) == before
    m.push(1.0, 0.45)  # the threshold is still 0.5: another false negative
    assert m.performance_snapshot()["RecallPositive"] == 0.0
    m.reset_baseline_and_decision_threshold([1.0, 0.0], [0.45, 0.2], 0.4)
    m.push(1.0, 0.45)  # now a true positive; the stream survived the reset
    assert m.performance_snapshot()["RecallPositive"] == float(f32(1) / f32(3))
    assert m.drift_snapshot()["RecallPositive"] == float(f32(1) - f32(1) / f32(3))


def test_logistic_push_batch_matches_pushes():
    rng = np.random.default_rng(1)
    y = rng.choice([0.0, 1.0, 0.3], 500).astype(np.float32)
    p = rng.random(500).astype(np.float32)
    one, many = (t.PyLogisticRegressionStreaming([1.0], [0.5], 0.3) for _ in range(2))
    many.push_batch(y, p)
    for a, b in zip(y, p):
        one.push(a, b)
    assert state(one) == state(many)
    with pytest.raises(ValueError, match=EMPTY):
        many.push_batch([], [])


@pytest.mark.parametrize("make", [lambda: t.PyLogisticRegressionStreaming([1.0, 0.0], [0.6, 0.2], 0.5),
                                  lambda: t.PyLinearRegressionStreaming([1.0, 2.0], [1.5, 2.5])])
def test_float_push_batch_reads_arrays_in_place_as_it_converts_lists(make):
    # Arrays are read block by block (4096 values), other inputs converted whole: the
    # same values either way, and the same sums in the same order.
    rng = np.random.default_rng(5)
    n = 3 * 4096 + 17
    y = rng.choice([0.0, 1.0, 2.5, np.nan], n).astype(np.float32)
    p = rng.random(n).astype(np.float64)
    forms = [(y, p), (y.tolist(), p.tolist()), (np.repeat(y, 2)[::2], np.repeat(p, 2)[::2]),
             (y.astype(np.float64), p.astype(np.float32)), (y.tolist(), p)]
    states = []
    for a, b in forms:
        m = make()
        m.push_batch(a, b)
        states.append(state(m))
    assert all(s == states[0] for s in states)
    ints = make(), make()
    ints[0].push_batch(np.arange(n, dtype=np.int64) % 3, p)
    ints[1].push_batch([float(v % 3) for v in range(n)], p.tolist())
    assert state(ints[0]) == state(ints[1])
    before = state(ints[0])
    with pytest.raises(ValueError, match="equal length"):
        ints[0].push_batch(y, p[:-1])
    with pytest.raises(ValueError, match=EMPTY):
        ints[0].push_batch(y[:0], p[:0])
    assert state(ints[0]) == before


# --- binary classification --------------------------------------------------------------

def test_classification_stream_labels_and_accuracy_drop():
    m = t.PyBinaryClassificationStreaming([1] * 9 + [0], [1] * 10)  # Accuracy 0.9
    m.push(1, 1)
    m.push(2, 2)  # 2 is not the positive label: a true negative
    snap = m.performance_snapshot()
    assert snap["RecallNegative"] == 1.0 and snap["Accuracy"] == 1.0
    m.flush()
    m.push_batch([1] * 7 + [0] * 3, [1] * 10)  # Accuracy 0.7
    failed = {e["metric"]: e["drift"] for e in m.drift_report(0.1)["failed_report"]}
    assert failed["Accuracy"] == pytest.approx(0.2, abs=1e-6)
    m.push_batch([], [])
    m.flush()
    m.push_batch([1] * 17 + [0] * 3, [1] * 20)  # Accuracy 0.85
    assert "Accuracy" not in {e["metric"] for e in m.drift_report(0.1).get("failed_report", [])}


def test_classification_push_batch_counts_arrays_in_place_as_it_converts_lists():
    rng = np.random.default_rng(6)
    y, p = (rng.integers(-1, 3, 10_001).astype(np.int32) for _ in range(2))
    forms = [(y, p), (y.tolist(), p.tolist()), (np.repeat(y, 2)[::2], p), (y.astype(np.int64), p.astype(np.int8))]
    states = []
    for a, b in forms:
        m = t.PyBinaryClassificationStreaming([1, 0, 2], [1, 1, 2])
        m.push_batch(a, b)
        states.append(state(m))
    assert all(s == states[0] for s in states)
    before = states[0]
    with pytest.raises(ValueError):
        m.push_batch(y, p[:-1])
    assert state(m) == before


def test_classification_reset_baseline():
    m = t.PyBinaryClassificationStreaming([1, 0], [1, 0])
    m.push(1, 0)
    before = state(m)
    with pytest.raises(ValueError, match=EMPTY):
        m.reset_baseline([], [])
    with pytest.raises(OverflowError):
        m.reset_baseline([2**40], [1])
    assert state(m) == before
    m.reset_baseline([1, 1], [1, 0])
    with pytest.raises(ValueError, match=EMPTY):
        m.performance_snapshot()  # the stream was cleared
    with pytest.raises(ValueError, match=EMPTY):
        t.PyBinaryClassificationStreaming([], [])
    with pytest.raises(ValueError, match=MISMATCH):
        t.PyBinaryClassificationStreaming([1], [1, 0])


def test_classification_stream_counts_beyond_float32_range():
    m = t.PyBinaryClassificationStreaming([1, 0], [1, 0])
    ones = np.ones(2**22, dtype=np.int32)
    for _ in range(5):
        m.push_batch(ones, ones)  # 5 · 2^22 true positives
    m.push_batch(ones, np.zeros_like(ones))  # 2^22 false negatives
    m.push(0, 0)
    snap = m.performance_snapshot()
    assert_metrics(snap, count_metrics(5 * 2**22, 0, 1, 2**22))
    assert snap["RecallPositive"] == pytest.approx(5 / 6, rel=1e-7)
