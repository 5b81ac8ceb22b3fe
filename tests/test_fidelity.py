"""Three places where a last bit or a label depends on following the C library and
NumPy literally: the continuous bin rule over non-finite edges, pow-based roots, and
array items read as NumPy scalars."""
import ctypes
import ctypes.util
import math
import warnings

import numpy as np
import pytest

import _tarvenn as t

libm = ctypes.CDLL(ctypes.util.find_library("m") or "libm.so.6")
libm.powf.restype = ctypes.c_float
libm.powf.argtypes = [ctypes.c_float, ctypes.c_float]
libm.sqrtf.restype = ctypes.c_float
libm.sqrtf.argtypes = [ctypes.c_float]
libm.log.restype = ctypes.c_double
libm.log.argtypes = [ctypes.c_double]


def literal_bin(v, edges, n_bins):
    """The bin rule counted literally: below the first edge 0, above the last N - 1,
    otherwise the number of edges <= v, capped at N - 1."""
    if v < edges[0]:
        return 0
    if v > edges[-1]:
        return n_bins - 1
    return min(sum(1 for e in edges if e <= v), n_bins - 1)


def literal_hist(values, edges, n_bins):
    counts = [0] * n_bins
    for v in values:
        counts[literal_bin(v, edges, n_bins)] += 1
    return [c / len(values) for c in counts]


@pytest.mark.parametrize(
    "values, rule",
    [
        ([-np.inf] + list(np.linspace(-5, 5, 186)), "Sturges"),
        (list(np.linspace(-5, 5, 40)) + [np.inf], "Sturges"),
        ([-np.inf, np.inf] + list(np.linspace(-5, 5, 40)), "Sturges"),
        ([-np.inf] * 3 + [1.0, 2.0] * 10, "Sturges"),
        ([-1e308, 1e308] + list(np.linspace(-5, 5, 40)), "Sturges"),
        (list(np.linspace(-5, 5, 64)), "Sturges"),
    ],
)
def test_bin_rule_counts_edges_literally_for_non_finite_edges(values, rule):
    d = t.PyStreamingContinuousDataDriftDecay(np.array(values), rule, None)
    runtime = np.array([-np.inf, -6.0, -5.0, -1.0, 0.0, 0.5, 4.99, 5.0, 6.0, np.inf, np.nan])
    d.update_stream_batch(runtime)
    snap = d.export_snapshot()
    edges, n = snap["binEdges"], d.n_bins
    assert d.export_baseline() == literal_hist(values, edges, n)
    single = t.PyStreamingContinuousDataDriftDecay(np.array(values), rule, None)
    for v in runtime:
        single.update_stream(float(v))
    assert repr(single.export_snapshot()) == repr(snap)
    batch = t.PyContinuousDataDrift(np.array(values), rule)
    assert batch.export_baseline() == literal_hist(values, edges, n)


def test_infinite_minimum_puts_finite_baseline_in_bin_one():
    d = t.PyContinuousDataDrift(np.array([-np.inf] + list(np.linspace(-5, 5, 186))), "Sturges")
    hist = d.export_baseline()
    assert hist[0] == 0.0 and hist[1] == 1.0 and sum(hist) == 1.0


def two_predictions(target, error, start):
    """Two float32 predictions (y_true 0) whose mean per-pair error, narrowed to 32
    bits, is `target`; `error` gives a pair's 64-bit error term."""
    near = [np.float32(start)]
    for _ in range(6):
        near = [np.nextafter(near[0], np.float32(0))] + near + [np.nextafter(near[-1], np.float32(np.inf))]
    for a in near:
        for b in near:
            if np.float32((error(a) + error(b)) / 2.0) == target:
                return float(a), float(b)
    pytest.skip("no float32 inputs reach the target mean")


TARGET = np.float32(1.8524492)


def stream_of(a, b):
    m = t.PyLinearRegressionStreaming([0.0], [0.0])
    m.push(0.0, a)
    m.push(0.0, b)
    return m.performance_snapshot()


def test_streaming_root_mean_squared_error_is_powf():
    assert libm.powf(TARGET, 0.5) != libm.sqrtf(TARGET)  # the case that tells them apart
    snap = stream_of(*two_predictions(TARGET, lambda p: float(p) * float(p), math.sqrt(TARGET)))
    assert np.float32(snap["MeanSquaredError"]) == TARGET
    assert snap["RootMeanSquaredError"] == libm.powf(TARGET, 0.5)


def test_streaming_root_mean_squared_log_error_stays_sqrtf():
    log_error = lambda p: (libm.log(1.0) - libm.log(float(p) + 1.0)) ** 2
    snap = stream_of(*two_predictions(TARGET, log_error, math.exp(math.sqrt(TARGET)) - 1.0))
    assert np.float32(snap["MeanSquaredLogError"]) == TARGET
    assert snap["RootMeanSquaredLogError"] == libm.sqrtf(TARGET)


def test_batch_roots_are_pow_of_the_64_bit_means():
    # pow(x, 0.5) keeps -0 positive and is never negative; the narrowed result agrees
    # with the C library's pow on the double means.
    rng = np.random.default_rng(5)
    y_true = rng.uniform(0, 3, 101).astype(np.float32)
    y_pred = rng.uniform(0, 3, 101).astype(np.float32)
    r = t.py_model_perf_linear_regression(y_true, y_pred)
    e = y_true.astype(np.float64) - y_pred.astype(np.float64)
    mse = 0.0
    for x in e:
        mse += x * x
    mse /= len(e)
    assert r["RootMeanSquaredError"] == float(np.float32(math.pow(mse, 0.5)))


def test_complex_items_convert_by_their_real_parts():
    feature = np.array([0.2 + 5j, 0.9 - 1j, 0.1 + 0j, 0.8 + 2j])
    truth = np.array([1, 0, 1, 0])
    real = feature.real.copy()
    with pytest.warns(np.exceptions.ComplexWarning if hasattr(np, "exceptions") else Warning):
        got = t.py_data_bias_analyzer_explicit_seg(feature, 0.5, None, "GreaterThan",
                                                   truth, 0.5, None, "GreaterThan")
    want = t.py_data_bias_analyzer_explicit_seg(real, 0.5, None, "GreaterThan",
                                                truth, 0.5, None, "GreaterThan")
    assert repr(got) == repr(want)  # NaN metrics compare by their text


def test_complex_warning_as_error_is_raised_not_swallowed():
    feature = np.array([0.2 + 5j, 0.9 - 1j])
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(Exception):
            t.py_data_bias_analyzer_explicit_seg(feature, 0.5, None, "GreaterThan",
                                                 np.array([1, 0]), 0.5, None, "GreaterThan")
