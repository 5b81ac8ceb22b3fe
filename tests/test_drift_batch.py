"""Batch drift detectors and the one-shot functions: the order in which failures are
reported, the state after failed calls, and agreement between the entry points."""
import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import _tarvenn as t
from test_drift import NAMES, ref_continuous

UNSUPPORTED = "Unsupported drift type"
EMPTY_BASELINE = "Baseline data must be non empty"
NAN = "NaN values are not supported"
EMPTY_RUNTIME = "Data used for runtime drift analysis must be non empty"
NOT_CONTIGUOUS = "The given array is not contiguous"


def f64(values):
    return np.array(values, dtype=np.float64)


STRIDED = f64(range(20))[::2]
BASE = f64(range(100))

# (call, exception, exact message) -- where several checks fail at once, the first
# check in the order of the entry wins.
FAILURES = [
    # continuous constructor: quantile type, then contiguity, then the baseline
    (lambda: t.PyContinuousDataDrift(STRIDED, "bad"), ValueError, UNSUPPORTED),
    (lambda: t.PyContinuousDataDrift(STRIDED, None), TypeError, NOT_CONTIGUOUS),
    (lambda: t.PyContinuousDataDrift(f64([]), "Scott"), ValueError, EMPTY_BASELINE),
    (lambda: t.PyContinuousDataDrift(f64([np.nan]), None), ValueError, EMPTY_BASELINE),
    (lambda: t.PyContinuousDataDrift(f64([np.nan, np.nan]), "Sturges"), ValueError, NAN),
    (lambda: t.PyCategoricalDataDrift([]), ValueError, EMPTY_BASELINE),
    (lambda: t.PyCategoricalDataDrift(()), ValueError, EMPTY_BASELINE),
    # continuous one-shot: contiguity of both arrays, names, quantile type, baseline, candidate
    (lambda: t.py_compute_drift_continuous_distribtuion(BASE, STRIDED, ["Bad"], "bad"), TypeError, NOT_CONTIGUOUS),
    (lambda: t.py_compute_drift_continuous_distribtuion(STRIDED, BASE, ["Bad"], "bad"), TypeError, NOT_CONTIGUOUS),
    (lambda: t.py_compute_drift_continuous_distribtuion(f64([1.0]), f64([]), ["JS"], None), ValueError, UNSUPPORTED),
    (lambda: t.py_compute_drift_continuous_distribtuion(f64([1.0]), f64([]), [], "Sturge"), ValueError, UNSUPPORTED),
    (lambda: t.py_compute_drift_continuous_distribtuion(f64([1.0]), f64([]), NAMES, None), ValueError, EMPTY_BASELINE),
    (lambda: t.py_compute_drift_continuous_distribtuion(f64([1.0, np.nan]), f64([]), [], None), ValueError, NAN),
    (lambda: t.py_compute_drift_continuous_distribtuion(BASE, f64([]), [], None), ValueError, EMPTY_RUNTIME),
    # categorical one-shot: names, baseline, candidate
    (lambda: t.py_compute_drift_categorical_distribtuion([], [], ["JensenShannon", "x"]), ValueError, UNSUPPORTED),
    (lambda: t.py_compute_drift_categorical_distribtuion([], [], []), ValueError, EMPTY_BASELINE),
    (lambda: t.py_compute_drift_categorical_distribtuion(["a"], [], []), ValueError, EMPTY_RUNTIME),
]


@pytest.mark.parametrize("call,exc,text", FAILURES)
def test_failures_in_check_order(call, exc, text):
    with pytest.raises(exc) as info:
        call()
    assert type(info.value) is exc and str(info.value) == text
    assert info.value.__cause__ is None


def continuous_state(d):
    return (d.num_bins, d.export_baseline(), d.compute_drift_mutliple_criteria(f64([3.0, 50.0, 99.0]), NAMES))


def categorical_state(d):
    return (d.num_bins, sorted(d.export_baseline().items()), d.compute_drift_mutliple_criteria(["a", "q"], NAMES))


def test_failed_continuous_calls_leave_the_detector_unchanged():
    d = t.PyContinuousDataDrift(BASE, "Scott")
    before = continuous_state(d)
    for call, exc, text in [
        (lambda: d.compute_drift(STRIDED, "Bad"), TypeError, NOT_CONTIGUOUS),
        (lambda: d.compute_drift(f64([]), "Bad"), ValueError, UNSUPPORTED),
        (lambda: d.compute_drift(f64([]), "JensenShannon"), ValueError, EMPTY_RUNTIME),
        (lambda: d.compute_drift_mutliple_criteria(STRIDED, ["Bad"]), TypeError, NOT_CONTIGUOUS),
        (lambda: d.compute_drift_mutliple_criteria(f64([]), []), ValueError, EMPTY_RUNTIME),
        (lambda: d.compute_drift_mutliple_criteria(f64([1.0]), "JensenShannon"), TypeError,
         "argument 'drift_types': Can't extract `str` to `Vec`"),
        (lambda: d.reset_baseline(STRIDED), TypeError, NOT_CONTIGUOUS),
        (lambda: d.reset_baseline(f64([5.0])), ValueError, EMPTY_BASELINE),
        (lambda: d.reset_baseline(f64([5.0, np.nan, 6.0])), ValueError, NAN),
        (lambda: d.reset_baseline([1.0, 2.0]), TypeError,
         "argument 'baseline_data': expected a one-dimensional float64 NumPy array, got 'list'"),
    ]:
        with pytest.raises(exc) as info:
            call()
        assert str(info.value) == text
        assert continuous_state(d) == before


def test_failed_categorical_calls_leave_the_detector_unchanged():
    d = t.PyCategoricalDataDrift(["a", "b", "b"])
    before = categorical_state(d)
    for call, exc, text in [
        (lambda: d.compute_drift([], "Bad"), ValueError, UNSUPPORTED),
        (lambda: d.compute_drift([], "KullbackLeibler"), ValueError, EMPTY_RUNTIME),
        (lambda: d.compute_drift_mutliple_criteria([], ["KullbackLeibler", "Bad"]), ValueError, UNSUPPORTED),
        (lambda: d.compute_drift(["a", 3], "KullbackLeibler"), TypeError, None),
        (lambda: d.reset_baseline([]), ValueError, EMPTY_BASELINE),
        (lambda: d.reset_baseline("ab"), TypeError, "argument 'new_baseline': Can't extract `str` to `Vec`"),
        (lambda: d.reset_baseline(["x", None]), TypeError, None),
    ]:
        with pytest.raises(exc) as info:
            call()
        if text is not None:
            assert str(info.value) == text
        assert categorical_state(d) == before


def test_resets_rebuild_the_bins():
    d = t.PyCategoricalDataDrift(["a", "b"])
    d.reset_baseline(["z", "y", "y", "x", "x", "x"])
    assert d.num_bins == 4
    assert d.export_baseline() == {"x": 0.5, "y": 1 / 3, "z": 1 / 6}
    assert d.compute_drift(["a", "a"], "WassersteinDistance") == 1.0  # all in the unseen-label bin
    c = t.PyContinuousDataDrift(f64([1.0, 2.0]), None)
    c.reset_baseline(BASE)
    assert c.num_bins == 5 and c.export_baseline() == [0.0, 0.33, 0.33, 0.01, 0.33]
    assert c.compute_drift(BASE, "JensenShannon") == 0.0
    c.reset_baseline(f64([1.0, 2.0]))
    assert c.num_bins == 3


def test_exports_are_fresh_objects():
    c = t.PyContinuousDataDrift(BASE, None)
    c.export_baseline()[1] = 5.0
    assert c.export_baseline()[1] == 0.33
    d = t.PyCategoricalDataDrift(["a", "b", "b", "日本"])
    exported = d.export_baseline()
    assert exported == {"a": 0.25, "b": 0.5, "日本": 0.25}
    exported["a"] = 1.0
    assert d.export_baseline()["a"] == 0.25


@settings(max_examples=60, deadline=None)
@given(
    st.lists(st.floats(-50, 50, allow_nan=False), min_size=2, max_size=80),
    st.lists(st.one_of(st.floats(-80, 80), st.sampled_from([np.nan, np.inf, -np.inf])), min_size=1, max_size=200),
    st.one_of(st.none(), st.sampled_from(["FreedmanDiaconis", "Scott", "Sturges"])),
    st.lists(st.sampled_from(NAMES), max_size=6),
)
def test_one_shot_equals_detector_with_nan_and_infinite_candidates(baseline, candidate, rule, names):
    try:
        one_shot = t.py_compute_drift_continuous_distribtuion(f64(baseline), f64(candidate), names, rule)
    except ValueError as e:  # a tiny spread asks for too many bins: both entries refuse alike
        assert str(e).startswith("The baseline needs ")
        with pytest.raises(ValueError, match="^" + str(e) + "$"):
            t.PyContinuousDataDrift(f64(baseline), rule)
        return
    d = t.PyContinuousDataDrift(f64(baseline), rule)
    assert one_shot == d.compute_drift_mutliple_criteria(f64(candidate), names)
    assert one_shot == d.compute_drift_mutliple_criteria(f64(candidate), names)  # nothing accumulates
    assert one_shot == [d.compute_drift(f64(candidate), n) for n in names]
    assert one_shot == ref_continuous(baseline, candidate, names, rule or "FreedmanDiaconis")
