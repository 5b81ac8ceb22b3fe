"""Data drift: baselines and bins against a reference written from the formulas,
the drift measures, the batch detectors and one-shot functions (failure order,
state after failures, agreement between entry points), and the streaming
detectors against a plain-Python model of the window (decay, flush by rate and by
cadence, exports, getters)."""
import ctypes
import ctypes.util
import math
import random
import time

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import _tarvenn as t

EMPTY_RUNTIME = "Data used for runtime drift analysis must be non empty"
EMPTY_RUNTIME_RE = f"^{EMPTY_RUNTIME}$"

EPS = 1e-12
LN2 = 0.6931471805599453
NAMES = ["JensenShannon", "PopulationStabilityIndex", "WassersteinDistance", "KullbackLeibler"]


# ---- a reference written from the formulas, in the same operation order ----------

def ref_num_bins(rule, xs):
    n = len(xs)
    c = math.pow(n, -0.3333333333333333)

    def sat(q):
        q = math.ceil(q) if not math.isnan(q) and not math.isinf(q) else q
        if math.isnan(q) or q < 0:
            return 0
        return min(int(q), 4294967295) if not math.isinf(q) else 4294967295

    if rule == "FreedmanDiaconis":
        q3 = min(n - 1, math.floor(0.75 * n))
        q1 = max(math.floor(0.25 * n), 0)
        iqr = xs[q3] - xs[q1]
        if iqr == 0:
            return 3
        return max(sat((xs[-1] - xs[0]) / (c * (2 * iqr))), 3)
    if rule == "Scott":
        s = -0.0
        for x in xs:
            s += x
        mean = s / n
        ss = -0.0
        for x in xs:
            ss += (x - mean) * (x - mean)
        if xs[-1] == xs[0]:
            return 3
        sd = math.sqrt((1 / (n - 1)) * ss)
        return max(sat((xs[-1] - xs[0]) / (c * (sd * 3.49))), 3)
    return max(math.floor(math.log2(n)) + 1, 3)


def ref_edges(xs, n_bins):
    lo, hi = xs[0], xs[-1]
    if lo == hi:
        return [lo]
    w = (hi - lo) / (n_bins - 2)
    edges, e = [], lo
    for _ in range(n_bins - 2):
        edges.append(e)
        e = e + w
    return edges


def ref_bin(v, edges, n_bins):
    if not v >= edges[0]:
        return 0
    if v > edges[-1]:
        return n_bins - 1
    return min(int(np.searchsorted(np.array(edges), v, side="right")), n_bins - 1)


def ref_measure(p, r, total, name, continuous):
    a = [max(x + EPS, EPS) for x in p]
    if name == "JensenShannon":
        s = 0.0
        for ai, ri in zip(a, r):
            b = max(ri / total + EPS, EPS)
            m = (ai + b) * 0.5
            s += (b * 0.5) * math.log(b / m) + (ai * 0.5) * math.log(ai / m)
        return s / LN2
    if name == "PopulationStabilityIndex":
        s = -0.0
        for ai, ri in zip(a, r):
            b = max((ri + EPS) / total, EPS)
            s += (ai - b) * math.log(ai / b)
        return s
    if name == "KullbackLeibler":
        s = -0.0
        for ai, ri in zip(a, r):
            q = (ri + EPS) / total
            s += ai * math.log(max(ai / q, EPS))
        return s
    if continuous:
        if len(p) < 3:
            return 0.0
        s = 0.0
        for i in range(1, len(p) - 1):
            s += abs(a[i] - max(r[i] / total + EPS, EPS))
        return s / (len(p) - 2)
    s = 0.0
    for ai, ri in zip(a, r):
        s += abs(ai - max(ri / total + EPS, EPS))
    return 0.5 * s


def ref_continuous(baseline, candidate, names, rule="FreedmanDiaconis"):
    xs = sorted(baseline)
    n_bins = ref_num_bins(rule, xs)
    edges = ref_edges(xs, n_bins)
    p = [0.0] * n_bins
    for x in xs:
        p[ref_bin(x, edges, n_bins)] += 1.0
    p = [c / len(xs) for c in p]
    r = [0.0] * n_bins
    for v in candidate:
        r[ref_bin(v, edges, n_bins)] += 1.0
    total = -0.0
    for c in r:
        total += c
    return [ref_measure(p, r, total, name, True) for name in names]


def f64(values):
    return np.array(values, dtype=np.float64)


def message(excinfo):
    return str(excinfo.value)


# ---- baseline binning -----------------------------------------------------------

@pytest.mark.parametrize(
    "values, rule, expected",
    [
        ([1.0, 2.0], None, [0.0, 0.5, 0.5]),
        (list(range(100)), None, [0.0, 0.33, 0.33, 0.01, 0.33]),
        (list(range(100)), "Scott", [0.0, 0.33, 0.33, 0.01, 0.33]),
        (list(range(1, 9)), "Sturges", [0.0, 0.5, 0.0, 0.5]),
        (list(range(1, 9)), "FreedmanDiaconis", [0.0, 0.125, 0.875]),
        ([4.0] * 5, "Scott", [0.0, 1.0, 0.0]),
        ([4.0] * 5, None, [0.0, 1.0, 0.0]),
    ],
)
def test_baseline_histograms(values, rule, expected):
    d = t.PyContinuousDataDrift(f64(values), rule)
    assert d.num_bins == len(expected)
    assert d.export_baseline() == expected


def test_edges_by_repeated_addition():
    d = t.PyStreamingContinuousDataDriftDecay(f64(range(100)), "Sturges", None)
    d.update_stream(1.0)
    snap = d.export_snapshot()
    assert d.n_bins == 7
    assert snap["binEdges"] == [0.0, 19.8, 39.6, 59.400000000000006, 79.2]


def test_all_equal_sturges_uses_single_edge_as_last_edge():
    d = t.PyStreamingContinuousDataDriftFlush(f64([2.0] * 16), "Sturges", None, None)
    assert d.n_bins == 5
    assert d.export_baseline() == [0.0, 1.0, 0.0, 0.0, 0.0]
    d.update_stream_batch(f64([1.0, 2.0, 2.0, 3.0, np.nan, np.inf]))
    snap = d.export_snapshot()
    assert snap["binEdges"] == [2.0]
    assert snap["streamBins"] == [2 / 6, 2 / 6, 0.0, 0.0, 2 / 6]


@pytest.mark.parametrize("values", [[], [1.0]])
def test_too_small_baselines(values):
    with pytest.raises(ValueError, match="^Baseline data must be non empty$"):
        t.PyContinuousDataDrift(f64(values), None)


def test_single_categorical_label_is_a_baseline():
    d = t.PyCategoricalDataDrift(["x"])
    assert d.num_bins == 2
    assert d.export_baseline() == {"x": 1.0}


def test_categorical_bins_follow_byte_order():
    d = t.PyStreamingCategoricalDataDriftDecay(["b", "a", "b", "B", "ab"], None)
    assert d.export_baseline() == {"B": 0.2, "a": 0.2, "ab": 0.2, "b": 0.4}
    # Bin order is visible through the Wasserstein terms of a lopsided runtime sample.
    d.update_stream_batch(["B", "B", "zz"])
    assert d.export_snapshot() == {"B": 2.0, "a": 0.0, "ab": 0.0, "b": 0.0}


def test_labels_one_byte_apart_keep_their_own_bins():
    # Every length up to two hash words, and for each length labels that differ from a
    # base label in one byte position only: a lookup must tell each of them apart, and
    # a label just longer or shorter than a baseline label is unseen.
    labels = []
    for n in range(1, 18):
        base = "q" * n
        labels += [base] + [base[:i] + "r" + base[i + 1:] for i in range(n)]
    d = t.PyStreamingCategoricalDataDriftFlush(labels, None, None)
    stream = [x for i, x in enumerate(labels) for _ in range(i % 3 + 1)] + ["q" * 18, "r" * 2, ""]
    d.update_stream_batch(stream)
    assert d.export_snapshot() == {x: float(i % 3 + 1) for i, x in enumerate(labels)}
    assert d.total_samples == len(stream)


@pytest.mark.parametrize("rule", ["scott", "Freedman", ""])
def test_unknown_quantile_type(rule):
    with pytest.raises(ValueError, match="^Unsupported drift type$"):
        t.PyContinuousDataDrift(f64([1.0, 2.0]), rule)
    with pytest.raises(ValueError, match="^Unsupported drift type$"):
        t.py_compute_drift_continuous_distribtuion(f64([1.0, 2.0]), f64([1.0]), [], rule)


@pytest.mark.parametrize(
    "values, requested",
    [
        ([0.0] * 50 + [1.0] * 50 + [1e12], None),
        ([0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, np.inf], 4294967295),
        ([-np.inf, 0.0, 0.5, 1.0, 2.0], 4294967295),
    ],
)
def test_bin_count_limit(values, requested):
    with pytest.raises(ValueError) as e:
        t.PyContinuousDataDrift(f64(values), None)
    text = message(e)
    assert "1000000" in text
    if requested is not None:
        assert str(requested) in text
    d = t.PyContinuousDataDrift(f64([1.0, 2.0]), None)
    with pytest.raises(ValueError, match="1000000"):
        d.reset_baseline(f64(values))
    assert d.num_bins == 3 and d.export_baseline() == [0.0, 0.5, 0.5]


@settings(max_examples=60, deadline=None)
@given(
    st.lists(st.floats(-1e6, 1e6, allow_nan=False), min_size=2, max_size=200),
    st.sampled_from(["FreedmanDiaconis", "Scott", "Sturges"]),
    st.randoms(),
)
def test_baseline_is_order_invariant_and_matches_reference(values, rule, rnd):
    shuffled = list(values)
    rnd.shuffle(shuffled)
    try:
        a = t.PyStreamingContinuousDataDriftDecay(f64(values), rule, None)
    except ValueError as e:
        assert "1000000" in str(e)
        return
    b = t.PyStreamingContinuousDataDriftDecay(f64(shuffled), rule, None)
    xs = sorted(values)
    assert a.n_bins == b.n_bins == ref_num_bins(rule, xs)
    a.update_stream(0.0)
    b.update_stream(0.0)
    sa, sb = a.export_snapshot(), b.export_snapshot()
    assert sa == sb
    assert sa["binEdges"] == ref_edges(xs, a.n_bins)


# ---- drift measures ----------------------------------------------------------------

def test_measures_on_worked_continuous_example():
    # p = [0, 0.5, 0.5], r = [0, 1, 3]
    d = t.PyContinuousDataDrift(f64([1.0, 2.0]), None)
    got = d.compute_drift_mutliple_criteria(f64([1.0, 5.0, 5.0, 5.0]), NAMES)
    want = [ref_measure([0.0, 0.5, 0.5], [0.0, 1.0, 3.0], 4.0, n, True) for n in NAMES]
    assert got == want
    assert got[0] == pytest.approx(0.048795, abs=1e-6)
    assert got[1] == pytest.approx(0.274653, abs=1e-6)
    assert got[2] == 0.25
    assert got[3] == pytest.approx(0.143841, abs=1e-6)
    same = d.compute_drift_mutliple_criteria(f64([1.0, 1.0, 2.0, 2.0]), NAMES)
    assert same[0] == 0.0 and same[2] == 0.0
    assert 0 < same[1] < 1e-20 and 0 < same[3] < 1e-11


def test_measures_on_worked_categorical_example():
    d = t.PyCategoricalDataDrift(["a", "b"])
    got = d.compute_drift_mutliple_criteria(["a", "b", "c", "c"], NAMES)
    want = [ref_measure([0.5, 0.5, 0.0], [1.0, 1.0, 2.0], 4.0, n, False) for n in NAMES]
    assert got == want
    assert got[2] == 0.5
    assert got[0] == pytest.approx(0.311278, abs=1e-6)
    assert got[1] == pytest.approx(13.8155, abs=1e-4)
    assert got[3] == pytest.approx(0.693147, abs=1e-6)
    assert d.compute_drift(["c", "c"], "WassersteinDistance") == 1.0


@pytest.mark.parametrize("name", ["jensenshannon", "JS", "JensenShannon "])
def test_unknown_drift_names(name):
    d = t.PyContinuousDataDrift(f64([1.0, 2.0]), None)
    with pytest.raises(ValueError, match="^Unsupported drift type$"):
        d.compute_drift(f64([1.0]), name)
    # the names are parsed before the runtime data is looked at
    with pytest.raises(ValueError, match="^Unsupported drift type$"):
        d.compute_drift_mutliple_criteria(f64([]), ["JensenShannon", name])


# ---- batch detectors ---------------------------------------------------------------

def test_batch_continuous_behaviour():
    base = f64(range(100))
    d = t.PyContinuousDataDrift(base, None)
    assert d.compute_drift(base, "WassersteinDistance") == 0.0
    assert d.compute_drift(base, "JensenShannon") == 0.0
    top = d.compute_drift(f64([1000.0]), "WassersteinDistance")
    assert top == d.compute_drift(f64([1000.0]), "WassersteinDistance")
    assert top == pytest.approx((0.33 + 0.33 + 0.01) / 3)
    assert d.compute_drift_mutliple_criteria(base, []) == []
    with pytest.raises(ValueError, match="^Data used for runtime drift analysis must be non empty$"):
        d.compute_drift(f64([]), "JensenShannon")
    with pytest.raises(ValueError, match="^NaN values are not supported$"):
        d.reset_baseline(f64([1.0, np.nan, 3.0]))
    assert d.export_baseline() == [0.0, 0.33, 0.33, 0.01, 0.33]


def test_reset_keeps_rule():
    d = t.PyContinuousDataDrift(f64([1.0, 2.0]), "Sturges")
    d.reset_baseline(f64(range(1, 9)))
    assert d.num_bins == 4
    assert d.export_baseline() == [0.0, 0.5, 0.0, 0.5]


def test_runtime_nan_and_infinities_bin_like_the_rule():
    base = f64(range(100))
    got = t.py_compute_drift_continuous_distribtuion(base, f64([np.nan, -np.inf, np.inf, 66.0]), NAMES, None)
    assert got == ref_continuous(list(range(100)), [np.nan, -np.inf, np.inf, 66.0], NAMES)


@settings(max_examples=60, deadline=None)
@given(
    st.lists(st.floats(-1e3, 1e3, allow_nan=False), min_size=2, max_size=120),
    st.lists(st.floats(-2e3, 2e3, allow_nan=False), min_size=1, max_size=300),
    st.sampled_from(["FreedmanDiaconis", "Scott", "Sturges"]),
)
def test_one_shot_equals_detector_and_reference(baseline, candidate, rule):
    names = ["KullbackLeibler", "JensenShannon", "WassersteinDistance", "PopulationStabilityIndex"]
    try:
        one_shot = t.py_compute_drift_continuous_distribtuion(f64(baseline), f64(candidate), names, rule)
    except ValueError:
        return
    d = t.PyContinuousDataDrift(f64(baseline), rule)
    assert one_shot == [d.compute_drift(f64(candidate), n) for n in names]
    assert one_shot == ref_continuous(baseline, candidate, names, rule)


@settings(max_examples=40, deadline=None)
@given(
    st.lists(st.sampled_from(["a", "b", "é", "日本", "a\x00b", ""]), min_size=1, max_size=40),
    st.lists(st.sampled_from(["a", "b", "é", "日本", "zz", "", "A"]), min_size=1, max_size=80),
)
def test_categorical_one_shot_equals_detector_for_every_input_form(baseline, candidate):
    one_shot = t.py_compute_drift_categorical_distribtuion(baseline, candidate, NAMES)
    d = t.PyCategoricalDataDrift(baseline)
    assert one_shot == d.compute_drift_mutliple_criteria(candidate, NAMES)
    assert one_shot == d.compute_drift_mutliple_criteria(tuple(candidate), NAMES)
    assert one_shot == d.compute_drift_mutliple_criteria(np.array(candidate), NAMES)
    assert one_shot == d.compute_drift_mutliple_criteria(np.array(candidate, dtype=object), NAMES)
    assert one_shot == d.compute_drift_mutliple_criteria(np.array(candidate)[::-1][::-1], NAMES)
    labels = sorted(set(baseline), key=lambda s: s.encode())
    p = [baseline.count(x) / len(baseline) for x in labels] + [0.0]
    r = [float(candidate.count(x)) for x in labels] + [float(sum(c not in labels for c in candidate))]
    assert one_shot == [ref_measure(p, r, float(len(candidate)), n, False) for n in NAMES]


def test_argument_errors():
    d = t.PyContinuousDataDrift(f64([1.0, 2.0, 3.0]), None)
    strided = f64(range(10))[::2]
    with pytest.raises(TypeError, match="^The given array is not contiguous$"):
        d.compute_drift(strided, "JensenShannon")
    with pytest.raises(TypeError, match="^The given array is not contiguous$"):
        t.PyContinuousDataDrift(strided, None)
    for bad in ([1.0, 2.0], np.ones(3, dtype=np.float32), np.ones(3, dtype=np.int64), np.ones((2, 2))):
        with pytest.raises(TypeError, match="^argument 'runtime_data': "):
            d.compute_drift(bad, "JensenShannon")
    c = t.PyCategoricalDataDrift(["a"])
    with pytest.raises(TypeError, match="^argument 'runtime_data': "):
        c.compute_drift(["a", 1], "JensenShannon")
    with pytest.raises(TypeError, match="^argument 'runtime_data': Can't extract `str` to `Vec`$"):
        c.compute_drift("ab", "JensenShannon")
    with pytest.raises(TypeError, match="^argument 'candidate': "):
        t.py_compute_drift_categorical_distribtuion(["a"], np.array([b"a"]), ["Nope"])
    with pytest.raises(UnicodeEncodeError):
        c.compute_drift(np.array(["a", "\ud800"]), "JensenShannon")
    with pytest.raises(ValueError, match="^Baseline data must be non empty$"):
        t.py_compute_drift_categorical_distribtuion([], ["a"], ["JensenShannon"])
    with pytest.raises(ValueError, match="^Data used for runtime drift analysis must be non empty$"):
        t.py_compute_drift_categorical_distribtuion(["a"], [], ["JensenShannon"])
    with pytest.raises(TypeError, match=r"compute_drift\(\) missing 1 required positional argument: 'drift_type'"):
        d.compute_drift(f64([1.0]))


def test_labels_compare_byte_for_byte():
    d = t.PyCategoricalDataDrift(["1", "B"])
    assert d.compute_drift(["1.0", "b"], "WassersteinDistance") == 1.0


# ---- streaming detectors -----------------------------------------------------------

def test_decay_factor_and_effective_total():
    d = t.PyStreamingContinuousDataDriftDecay(f64([1.0, 2.0]), None, 1)
    for v in (1.0, 2.0, 2.0, 1.5):
        d.update_stream(v)
    d.compute_drift("JensenShannon")
    assert d.total_samples == 2
    d.update_stream_batch(f64([1.0, 2.0]))
    d.compute_drift("KullbackLeibler")
    assert d.total_samples == 2
    assert 2.0 ** (-1 / 86400) == 0.9999919774953684


def test_decay_settings():
    with pytest.raises(ValueError, match="^Configuration not supported in current drift mode$"):
        t.PyStreamingCategoricalDataDriftDecay(["a"], 0)
    with pytest.raises(ValueError, match="^Configuration not supported in current drift mode$"):
        t.PyStreamingContinuousDataDriftDecay(f64([1.0, 2.0]), None, 0)
    with pytest.raises(OverflowError):
        t.PyStreamingCategoricalDataDriftDecay(["a"], -1)
    with pytest.raises(TypeError, match="^argument 'half_life_opt': "):
        t.PyStreamingCategoricalDataDriftDecay(["a"], 1.5)
    d = t.PyStreamingCategoricalDataDriftDecay(baseline_data=["a"], half_life_opt=None)
    d.update_stream("a")
    d.compute_drift_multiple_criteria([])  # one decay step even with no names
    assert d.export_snapshot() == {"a": 0.9999919774953684}


def test_flush_by_rate_and_cadence():
    d = t.PyStreamingContinuousDataDriftFlush(f64([1.0, 2.0]), None, 3, None)
    for _ in range(5):
        d.update_stream(1.0)
    assert d.total_samples == 2
    d.update_stream_batch(f64([1.0] * 5))  # 3, flush, 1, 2, 3, flush, 1
    assert d.total_samples == 1
    c = t.PyStreamingCategoricalDataDriftFlush(["a"], None, 0)
    c.update_stream_batch(["a"] * 1000)
    assert c.total_samples == 1000 - 768
    for _ in range(300):
        c.update_stream("a")
        assert c.total_samples <= 256


def test_flush_window_lifecycle():
    d = t.PyStreamingCategoricalDataDriftFlush(["a", "b"], None, None)
    assert d.last_flush == 0
    with pytest.raises(ValueError, match="^Data used for runtime drift analysis must be non empty$"):
        d.compute_drift("JensenShannon")
    d.update_stream_batch(["c", "c", "a"])
    assert d.export_snapshot() == {"a": 1.0, "b": 0.0}
    assert d.n_bins == 3
    d.compute_drift("JensenShannon")
    assert d.total_samples == 3  # computing never flushes
    d.flush()
    assert d.total_samples == 0 and d.export_snapshot() == {"a": 0.0, "b": 0.0}
    with pytest.raises(ValueError, match="^Data used for runtime drift analysis must be non empty$"):
        d.update_stream_batch([])
    d.update_stream("a")
    with pytest.raises(ValueError, match="^Baseline data must be non empty$"):
        d.reset_baseline([])
    assert d.export_snapshot() == {"a": 1.0, "b": 0.0}
    d.reset_baseline(["x", "y", "z"])
    assert d.n_bins == 4 and d.total_samples == 0


def test_continuous_snapshot_of_baseline_values_is_the_baseline():
    base = np.random.default_rng(3).normal(size=5000)
    for cls, args in ((t.PyStreamingContinuousDataDriftDecay, (None,)),
                      (t.PyStreamingContinuousDataDriftFlush, (None, None))):
        d = cls(base, "Scott", *args)
        with pytest.raises(ValueError, match="^Data used for runtime drift analysis must be non empty$"):
            d.export_snapshot()
        d.update_stream_batch(base)
        snap = d.export_snapshot()
        assert snap["streamBins"] == snap["baselineBins"] == d.export_baseline()
        assert len(snap["binEdges"]) == d.n_bins - 2


@settings(max_examples=40, deadline=None)
@given(
    st.lists(st.lists(st.floats(-5, 5, allow_nan=False), min_size=1, max_size=400), min_size=1, max_size=6),
    st.integers(1, 5),
    st.integers(1, 700),
)
def test_batches_equal_single_samples(chunks, half_life, rate):
    base = f64(np.linspace(-3, 3, 41))
    pairs = [
        (t.PyStreamingContinuousDataDriftDecay(base, None, half_life),
         t.PyStreamingContinuousDataDriftDecay(base, None, half_life)),
        (t.PyStreamingContinuousDataDriftFlush(base, None, rate, None),
         t.PyStreamingContinuousDataDriftFlush(base, None, rate, None)),
    ]
    for batched, single in pairs:
        for chunk in chunks:
            batched.update_stream_batch(f64(chunk))
            for v in chunk:
                single.update_stream(v)
            assert batched.compute_drift("PopulationStabilityIndex") == single.compute_drift("PopulationStabilityIndex")
        assert batched.export_snapshot() == single.export_snapshot()
        assert batched.total_samples == single.total_samples


def test_failed_calls_leave_streaming_detectors_unchanged():
    d = t.PyStreamingContinuousDataDriftDecay(f64([1.0, 2.0]), None, 2)
    d.update_stream_batch(f64([1.0, 2.0, 2.0]))
    before = d.export_snapshot()
    with pytest.raises(ValueError, match="^Unsupported drift type$"):
        d.compute_drift_multiple_criteria(["JensenShannon", "Bad"])
    with pytest.raises(ValueError, match="^Baseline data must be non empty$"):
        d.reset_baseline(f64([3.0]))
    with pytest.raises(TypeError):
        d.update_stream("x")
    assert d.export_snapshot() == before


def test_docstrings_and_signatures():
    assert t.PyStreamingContinuousDataDriftFlush.__text_signature__ == (
        "(baseline_data, quantile_type_str, flush_rate_opt, flush_cadence_opt)")
    assert t.PyStreamingCategoricalDataDriftDecay.compute_drift.__doc__.startswith(
        "Apply decay to stream bins and compute a single drift metric.")
    assert t.PyStreamingCategoricalDataDriftFlush.last_flush.__doc__ == "Unix timestamp (seconds) of the last flush."
    assert t.PyCategoricalDataDrift.num_bins.__doc__ is None
    assert t.py_compute_drift_categorical_distribtuion.__text_signature__ == "(baseline, candidate, drift_metrics)"
    assert t.PyContinuousDataDrift.compute_drift_mutliple_criteria.__doc__ is None


def test_class_docstrings():
    docs = {
        "PyContinuousDataDrift": "Batch continuous data drift detector. Computes drift metrics between a fixed\n"
        "baseline histogram and a runtime data slice on each call.",
        "PyCategoricalDataDrift": "Batch categorical data drift detector. Computes drift metrics between a fixed\n"
        "baseline label distribution and a runtime label slice on each call.",
        "PyStreamingContinuousDataDriftDecay": "Streaming continuous data drift detector in decay mode. Applies "
        "exponential\ndecay to accumulated runtime bins on each drift computation, giving more weight\nto recent samples.",
        "PyStreamingContinuousDataDriftFlush": "Streaming continuous data drift detector in flush mode. Accumulates "
        "runtime\nsamples and resets accumulated bins on each flush.",
        "PyStreamingCategoricalDataDriftDecay": "Streaming categorical data drift detector in decay mode. Applies "
        "exponential\ndecay to accumulated label counts on each drift computation, giving more weight\nto recent samples.",
        "PyStreamingCategoricalDataDriftFlush": "Streaming categorical data drift detector in flush mode. Accumulates "
        "runtime\nlabel counts and resets accumulated bins on each flush.",
    }
    for name, doc in docs.items():
        assert getattr(t, name).__doc__ == doc


# ---- batch detectors and one-shot functions ------------------------------------

UNSUPPORTED = "Unsupported drift type"
EMPTY_BASELINE = "Baseline data must be non empty"
NAN = "NaN values are not supported"
NOT_CONTIGUOUS = "The given array is not contiguous"


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


# ---- streaming detectors against a model of the window --------------------------

_libm = ctypes.CDLL(ctypes.util.find_library("m"))
_libm.exp2.restype = ctypes.c_double
_libm.exp2.argtypes = [ctypes.c_double]

def decay_factor(half_life):
    return _libm.exp2(-1.0 / half_life)


class Window:
    """The runtime window as the detectors keep it: one weight per bin and a running
    total, decayed on each drift computation or flushed by rate and cadence."""

    def __init__(self, n_bins, factor=None, rate=None, cadence_zero=False):
        self.bins = [0.0] * n_bins
        self.total = 0.0
        self.factor, self.rate, self.cadence_zero = factor, rate, cadence_zero

    def flush(self):
        self.bins = [0.0] * len(self.bins)
        self.total = 0.0

    def add(self, b):
        if self.rate is not None:
            if self.total >= self.rate:
                self.flush()
            elif self.cadence_zero and int(self.total) % 256 == 0:
                self.flush()
        self.bins[b] += 1.0
        self.total += 1.0

    def prepare_drift(self):
        s = -0.0
        for w in self.bins:
            s += w
        if s == 0:
            return False
        if self.factor is not None:
            self.bins = [w * self.factor for w in self.bins]
            self.total *= self.factor
        return True

    def total_samples(self):
        return min(math.floor(self.total), 4294967295)


class ContinuousModel:
    def __init__(self, baseline, rule, **mode):
        xs = sorted(baseline)
        self.n_bins = ref_num_bins(rule, xs)
        self.edges = ref_edges(xs, self.n_bins)
        counts = [0.0] * self.n_bins
        for x in xs:
            counts[ref_bin(x, self.edges, self.n_bins)] += 1.0
        self.p = [c / len(xs) for c in counts]
        self.window = Window(self.n_bins, **mode)

    def add(self, v):
        self.window.add(ref_bin(v, self.edges, self.n_bins))

    def drift(self, names):
        if not self.window.prepare_drift():
            return None
        return [ref_measure(self.p, self.window.bins, self.window.total, n, True) for n in names]

    def snapshot(self):
        if self.window.total == 0:
            return None
        return {"binEdges": self.edges, "baselineBins": self.p,
                "streamBins": [w / self.window.total for w in self.window.bins]}


class CategoricalModel:
    def __init__(self, baseline, **mode):
        self.labels = sorted(set(baseline), key=lambda s: s.encode())
        self.index = {label: i for i, label in enumerate(self.labels)}
        self.p = [baseline.count(x) / len(baseline) for x in self.labels] + [0.0]
        self.window = Window(len(self.labels) + 1, **mode)

    def add(self, label):
        self.window.add(self.index.get(label, len(self.labels)))

    def drift(self, names):
        if not self.window.prepare_drift():
            return None
        return [ref_measure(self.p, self.window.bins, self.window.total, n, False) for n in names]

    def snapshot(self):
        return {label: self.window.bins[i] for label, i in self.index.items()}


def replay(detector, model, ops):
    """Applies the operations to both and compares everything observable after each."""
    for kind, arg in ops:
        if kind == "push":
            detector.update_stream(arg)
            model.add(arg)
        elif kind == "batch":
            detector.update_stream_batch(f64(arg) if isinstance(model, ContinuousModel) else arg)
            for v in arg:
                model.add(v)
        else:
            want = model.drift(arg)
            if want is None:
                with pytest.raises(ValueError, match=EMPTY_RUNTIME_RE):
                    detector.compute_drift_multiple_criteria(arg)
            elif len(arg) == 1:
                assert detector.compute_drift(arg[0]) == want[0]
            else:
                assert detector.compute_drift_multiple_criteria(arg) == want
        assert detector.total_samples == model.window.total_samples()
        want_snapshot = model.snapshot()
        if want_snapshot is None:
            with pytest.raises(ValueError, match=EMPTY_RUNTIME_RE):
                detector.export_snapshot()
        else:
            assert detector.export_snapshot() == want_snapshot


runtime_values = st.one_of(st.floats(-12, 12, allow_nan=False), st.sampled_from([np.nan, np.inf, -np.inf, 0.0, 6.0]))
names = st.lists(st.sampled_from(NAMES), max_size=5)


def operations(values):
    return st.lists(st.one_of(
        st.tuples(st.just("push"), values),
        st.tuples(st.just("batch"), st.lists(values, min_size=1, max_size=600)),
        st.tuples(st.just("drift"), names),
    ), max_size=12)


CONT_BASELINE = list(np.linspace(-6, 6, 25)) + [0.5, 0.25]
CAT_BASELINE = ["b", "a", "b", "B", "ab", "日本"]
labels = st.sampled_from(["a", "b", "B", "ab", "日本", "zz", "", "A", "a "])


# --- decay mode -------------------------------------------------------------------------

@settings(max_examples=50, deadline=None)
@given(operations(runtime_values), st.integers(1, 1000), st.sampled_from(["FreedmanDiaconis", "Scott", "Sturges"]))
def test_continuous_decay_matches_model(ops, half_life, rule):
    detector = t.PyStreamingContinuousDataDriftDecay(f64(CONT_BASELINE), rule, half_life)
    model = ContinuousModel(CONT_BASELINE, rule, factor=decay_factor(half_life))
    assert detector.n_bins == model.n_bins
    assert detector.export_baseline() == model.p
    replay(detector, model, ops)


@settings(max_examples=50, deadline=None)
@given(operations(labels), st.one_of(st.none(), st.integers(1, 1000)))
def test_categorical_decay_matches_model(ops, half_life):
    detector = t.PyStreamingCategoricalDataDriftDecay(CAT_BASELINE, half_life)
    model = CategoricalModel(CAT_BASELINE, factor=decay_factor(half_life or 86400))
    assert detector.n_bins == len(model.labels) + 1
    replay(detector, model, ops)


def test_batch_into_decayed_weights_rounds_like_single_additions():
    # Decayed weights have every mantissa bit set: adding a large batch to them crosses
    # many binades, and each crossing rounds exactly as one-at-a-time additions do.
    detector = t.PyStreamingCategoricalDataDriftDecay(["a", "b"], 3)
    model = CategoricalModel(["a", "b"], factor=decay_factor(3))
    replay(detector, model, [("batch", ["a", "b", "c"]), ("drift", ["KullbackLeibler"]),
                             ("drift", ["JensenShannon"]), ("batch", ["a"] * 100_000 + ["c"] * 3),
                             ("drift", NAMES), ("push", "b")])
    assert detector.export_snapshot()["a"] == model.window.bins[0] != 1.0 + 100_000


def test_decay_factor_from_half_life():
    for half_life, factor in ((1, 0.5), (2, 2 ** -0.5), (86400, 0.9999919774953684), (None, 0.9999919774953684)):
        d = t.PyStreamingCategoricalDataDriftDecay(["a"], half_life)
        d.update_stream("a")
        d.compute_drift("WassersteinDistance")
        assert d.export_snapshot() == {"a": factor}
    # after v computations a sample weighs half
    d = t.PyStreamingCategoricalDataDriftDecay(["a"], 4)
    d.update_stream("a")
    for _ in range(4):
        d.compute_drift_multiple_criteria([])
    assert d.export_snapshot()["a"] == pytest.approx(0.5, rel=1e-15)


def test_total_samples_rounds_the_decayed_total_down():
    d = t.PyStreamingContinuousDataDriftDecay(f64([1.0, 2.0]), None, 1)
    d.update_stream_batch(f64([1.0, 1.0, 2.0]))
    assert d.total_samples == 3
    d.compute_drift("PopulationStabilityIndex")  # 1.5
    assert d.total_samples == 1
    d.compute_drift("PopulationStabilityIndex")  # 0.75
    assert d.total_samples == 0
    # the window is not empty: drift is still computed
    d.compute_drift("PopulationStabilityIndex")
    assert isinstance(d.total_samples, int)


def test_failed_drift_computation_applies_no_decay():
    d = t.PyStreamingCategoricalDataDriftDecay(["a", "b"], 1)
    with pytest.raises(ValueError, match=EMPTY_RUNTIME_RE):
        d.compute_drift("JensenShannon")
    with pytest.raises(ValueError, match=EMPTY_RUNTIME_RE):
        d.compute_drift_multiple_criteria([])
    d.update_stream_batch(["a", "a", "zz", "zz"])
    for bad in (["Nope"], ["JensenShannon", "jensenshannon"], ["JensenShannon", "KullbackLeibler", ""]):
        with pytest.raises(ValueError, match="^Unsupported drift type$"):
            d.compute_drift_multiple_criteria(bad)
    with pytest.raises(ValueError, match="^Unsupported drift type$"):
        d.compute_drift("Wasserstein")
    assert d.export_snapshot() == {"a": 2.0, "b": 0.0} and d.total_samples == 4
    # one decay step per call, whatever the number of names
    d.compute_drift_multiple_criteria(NAMES + NAMES)
    assert d.export_snapshot() == {"a": 1.0, "b": 0.0} and d.total_samples == 2


def test_exporting_applies_no_decay():
    a = t.PyStreamingContinuousDataDriftDecay(f64(CONT_BASELINE), None, 2)
    b = t.PyStreamingContinuousDataDriftDecay(f64(CONT_BASELINE), None, 2)
    for d in (a, b):
        d.update_stream_batch(f64([0.0, 1.0, 5.0, -3.0]))
    for _ in range(3):
        a.export_snapshot()
        a.export_baseline()
        assert a.total_samples == 4
    assert a.compute_drift_multiple_criteria(NAMES) == b.compute_drift_multiple_criteria(NAMES)


# --- flush mode -------------------------------------------------------------------------

@settings(max_examples=50, deadline=None)
@given(operations(runtime_values), st.one_of(st.integers(0, 40), st.integers(250, 800)), st.booleans())
def test_continuous_flush_matches_model(ops, rate, cadence_zero):
    detector = t.PyStreamingContinuousDataDriftFlush(f64(CONT_BASELINE), "Scott", rate, 0 if cadence_zero else None)
    model = ContinuousModel(CONT_BASELINE, "Scott", rate=float(rate), cadence_zero=cadence_zero)
    replay(detector, model, ops)


@settings(max_examples=50, deadline=None)
@given(operations(labels), st.one_of(st.integers(0, 40), st.integers(250, 800), st.none()), st.booleans())
def test_categorical_flush_matches_model(ops, rate, cadence_zero):
    detector = t.PyStreamingCategoricalDataDriftFlush(CAT_BASELINE, rate, 0 if cadence_zero else None)
    model = CategoricalModel(CAT_BASELINE, rate=1000000.0 if rate is None else float(rate), cadence_zero=cadence_zero)
    replay(detector, model, ops)


def test_flush_rate_zero_keeps_only_the_last_sample():
    d = t.PyStreamingCategoricalDataDriftFlush(["a", "b"], 0, None)
    d.update_stream_batch(["a", "a", "b"])
    assert d.total_samples == 1 and d.export_snapshot() == {"a": 0.0, "b": 1.0}
    d.update_stream("a")
    assert d.total_samples == 1 and d.export_snapshot() == {"a": 1.0, "b": 0.0}


def test_flush_splits_a_batch_and_keeps_the_samples_after_the_split():
    d = t.PyStreamingCategoricalDataDriftFlush(["a", "b", "c"], 3, None)
    d.update_stream_batch(["a", "a", "a", "b", "c"])  # a a a | flush | b c
    assert d.export_snapshot() == {"a": 0.0, "b": 1.0, "c": 1.0}
    c = t.PyStreamingContinuousDataDriftFlush(f64(range(100)), None, 4, None)
    c.update_stream_batch(f64([0.0, 0.0, 0.0, 0.0, 99.0, 99.0]))
    assert c.export_snapshot()["streamBins"] == [0.0, 0.0, 0.0, 0.0, 1.0]


def test_computing_drift_never_flushes():
    d = t.PyStreamingCategoricalDataDriftFlush(["a", "b"], 3, 0)
    d.update_stream_batch(["a", "b", "b"])  # the rate is reached
    first = d.compute_drift_multiple_criteria(NAMES)
    assert d.compute_drift_multiple_criteria(NAMES) == first  # no decay, no flush
    assert d.total_samples == 3 and d.export_snapshot() == {"a": 1.0, "b": 2.0}
    d.update_stream("a")  # the next sample acts on it
    assert d.total_samples == 1 and d.export_snapshot() == {"a": 1.0, "b": 0.0}


def test_flush_settings_conversions():
    make = lambda rate, cadence: t.PyStreamingCategoricalDataDriftFlush(["a"], rate, cadence)
    big = make(2 ** 64 - 1, 2 ** 64 - 1)
    big.update_stream_batch(["a"] * 1000)
    assert big.total_samples == 1000 and big.last_flush == 0
    one = make(True, np.int64(5))  # int subclasses and index objects are integers
    one.update_stream_batch(["a"] * 3)
    assert one.total_samples == 1
    for bad, exc in ((-1, OverflowError), (2 ** 64, OverflowError), (1.0, TypeError), ("3", TypeError),
                     (np.float64(2.0), TypeError)):
        with pytest.raises(exc):
            make(bad, None)
        with pytest.raises(exc):
            make(None, bad)
        with pytest.raises(exc):
            t.PyStreamingContinuousDataDriftFlush(f64([1.0, 2.0]), None, bad, None)
        with pytest.raises(exc):
            t.PyStreamingContinuousDataDriftFlush(f64([1.0, 2.0]), None, None, bad)
        with pytest.raises(exc):
            t.PyStreamingContinuousDataDriftDecay(f64([1.0, 2.0]), None, bad)
    with pytest.raises(TypeError, match="^argument 'flush_cadence': "):
        make(None, 1.5)
    with pytest.raises(TypeError, match="^argument 'decay_opt': "):
        t.PyStreamingContinuousDataDriftDecay(f64([1.0, 2.0]), None, 2.0)


def test_cadence_and_last_flush_follow_the_monotonic_clock():
    cont = t.PyStreamingContinuousDataDriftFlush(f64([1.0, 2.0]), None, None, 1)
    cat = t.PyStreamingCategoricalDataDriftFlush(["a", "b"], None, 1)
    resettable = t.PyStreamingCategoricalDataDriftFlush(["a", "b"], None, None)
    flushed = t.PyStreamingCategoricalDataDriftFlush(["a", "b"], None, None)
    idle = t.PyStreamingCategoricalDataDriftFlush(["a"], None, 1)
    for d in (cont, cat, resettable, flushed, idle):
        assert d.last_flush == 0
    cont.update_stream_batch(f64([1.0] * 250))
    cat.update_stream_batch(["a"] * 250)
    time.sleep(1.05)
    for d in (cont, cat, resettable, flushed, idle):
        assert d.last_flush == 1
    flushed.flush()
    resettable.reset_baseline(["x"])
    assert flushed.last_flush == 0 and resettable.last_flush == 0
    # the clock is read only at multiples of 256: the window survives until then
    cont.update_stream_batch(f64([2.0] * 6))
    cat.update_stream_batch(["b"] * 6)
    assert cont.total_samples == cat.total_samples == 256 and cont.last_flush == cat.last_flush == 1
    cat.compute_drift("JensenShannon")  # computing does not flush
    assert cat.total_samples == 256
    cont.update_stream(2.0)
    cat.update_stream_batch(["b", "a", "a"])
    assert cont.total_samples == 1 and cont.last_flush == 0
    assert cont.export_snapshot()["streamBins"] == [0.0, 0.0, 1.0]
    assert cat.total_samples == 3 and cat.export_snapshot() == {"a": 2.0, "b": 1.0}
    # an empty window is at a multiple of 256 too: the first sample renews the flush time
    idle.update_stream("a")
    assert idle.last_flush == 0 and idle.total_samples == 1


# --- exports, getters, baseline resets ---------------------------------------------------

def test_exports_are_fresh_copies():
    d = t.PyStreamingContinuousDataDriftDecay(f64(range(100)), None, None)
    d.update_stream_batch(f64([5.0, 50.0]))
    snap = d.export_snapshot()
    assert sorted(snap) == ["baselineBins", "binEdges", "streamBins"]
    assert snap["binEdges"] == [0.0, 33.0, 66.0]
    assert snap["baselineBins"] == d.export_baseline() == [0.0, 0.33, 0.33, 0.01, 0.33]
    assert snap["streamBins"] == [0.0, 0.5, 0.5, 0.0, 0.0]
    snap["binEdges"].append(1.0)
    d.export_baseline().clear()
    assert d.export_snapshot()["binEdges"] == [0.0, 33.0, 66.0] and len(d.export_baseline()) == 5
    c = t.PyStreamingCategoricalDataDriftFlush(["a", "b", "b", "c", "c", "c"], None, None)
    assert c.export_baseline() == {"a": 1 / 6, "b": 2 / 6, "c": 3 / 6}
    assert c.export_snapshot() == {"a": 0.0, "b": 0.0, "c": 0.0}  # never fails
    assert all(type(v) is float for v in c.export_snapshot().values())
    c.export_baseline()["zz"] = 1.0
    assert c.n_bins == 4 and "zz" not in c.export_baseline()


@pytest.mark.parametrize("cls,args", [
    (t.PyStreamingContinuousDataDriftFlush, (f64([1.0, 2.0]), None, None, None)),
    (t.PyStreamingContinuousDataDriftDecay, (f64([1.0, 2.0]), None, None)),
    (t.PyStreamingCategoricalDataDriftFlush, (["a", "b"], None, None)),
    (t.PyStreamingCategoricalDataDriftDecay, (["a", "b"], None)),
])
def test_getters_are_read_only_ints(cls, args):
    d = cls(*args)
    getters = ["n_bins", "total_samples"] + (["last_flush"] if "Flush" in cls.__name__ else [])
    for name in getters:
        assert type(getattr(d, name)) is int
        with pytest.raises(AttributeError):
            setattr(d, name, 1)
        with pytest.raises(AttributeError):
            delattr(d, name)
    assert d.n_bins == 3 and d.total_samples == 0
    assert not hasattr(d, "last_flush") or d.last_flush == 0
    assert not hasattr(t.PyStreamingContinuousDataDriftDecay, "last_flush")
    assert not hasattr(t.PyStreamingCategoricalDataDriftDecay, "flush")


def test_reset_baseline_clears_the_window_and_keeps_the_mode():
    d = t.PyStreamingContinuousDataDriftDecay(f64([1.0, 2.0]), "Sturges", 1)
    d.update_stream_batch(f64([1.0, 2.0, 3.0]))
    d.reset_baseline(f64(range(1, 9)))
    assert d.n_bins == 4 and d.total_samples == 0  # Sturges again: 4 bins for 8 values
    assert d.export_baseline() == [0.0, 0.5, 0.0, 0.5]
    with pytest.raises(ValueError, match=EMPTY_RUNTIME_RE):
        d.export_snapshot()
    d.update_stream_batch(f64([1.0] * 4))
    d.compute_drift("JensenShannon")
    assert d.total_samples == 2  # the factor 0.5 survived the reset
    f = t.PyStreamingCategoricalDataDriftFlush(["a"], 2, None)
    f.update_stream_batch(["a", "b"])
    f.reset_baseline(["x", "y", "y"])
    assert f.n_bins == 3 and f.total_samples == 0 and f.export_baseline() == {"x": 1 / 3, "y": 2 / 3}
    f.update_stream_batch(["x", "y", "y"])  # the rate 2 survived the reset
    assert f.export_snapshot() == {"x": 0.0, "y": 1.0}


def state(d):
    try:
        snap = d.export_snapshot()
    except ValueError as e:
        snap = str(e)
    return repr((snap, d.export_baseline(), d.n_bins, d.total_samples))


TOO_MANY_BINS = "^The baseline needs 4294967295 bins, more than the limit of 1000000 bins$"


@pytest.mark.parametrize("make,sample,failures", [
    (lambda: t.PyStreamingContinuousDataDriftDecay(f64(range(10)), None, 3), f64([1.0, 20.0, np.nan]), [
        (f64([1.0]), ValueError, "^Baseline data must be non empty$"),
        (f64([]), ValueError, "^Baseline data must be non empty$"),
        (f64([1.0, np.nan, 2.0]), ValueError, "^NaN values are not supported$"),
        (f64([0.0, 1.0, 2.0, 1e12, 0.5]), ValueError, TOO_MANY_BINS),
        (f64(range(20))[::2], TypeError, "^The given array is not contiguous$"),
        (f64(range(20))[::-1], TypeError, "^The given array is not contiguous$"),
        (np.arange(5.0, dtype=np.float32), TypeError, "^argument 'baseline_data': "),
        (np.arange(5), TypeError, "^argument 'baseline_data': "),
        (np.ones((3, 2)), TypeError, "^argument 'baseline_data': "),
        ([1.0, 2.0, 3.0], TypeError, "^argument 'baseline_data': "),
    ]),
    (lambda: t.PyStreamingContinuousDataDriftFlush(f64(range(10)), "Scott", 7, None), f64([1.0, 20.0, -np.inf]), [
        (f64([np.nan, np.nan]), ValueError, "^NaN values are not supported$"),
        (f64([7.0]), ValueError, "^Baseline data must be non empty$"),
        (np.ones((2, 2))[:, 0], TypeError, "^The given array is not contiguous$"),
        (np.ones(4).astype(">f8"), TypeError, "^argument 'baseline_data': "),
    ]),
    (lambda: t.PyStreamingCategoricalDataDriftDecay(["a", "b"], 2), ["a", "c", "c"], [
        ([], ValueError, "^Baseline data must be non empty$"),
        ("ab", TypeError, "^argument 'new_baseline': Can't extract `str` to `Vec`$"),
        (["a", 1], TypeError, "^argument 'new_baseline': "),
        (None, TypeError, "^argument 'new_baseline': "),
    ]),
    (lambda: t.PyStreamingCategoricalDataDriftFlush(["a", "b"], 5, None), ["b", "c"], [
        (np.array([], dtype=str), ValueError, "^Baseline data must be non empty$"),
        ([b"a"], TypeError, "^argument 'new_baseline': "),
    ]),
])
def test_failed_reset_leaves_the_detector_unchanged(make, sample, failures):
    d = make()
    d.update_stream_batch(sample)
    before = state(d)
    for baseline, exc, text in failures:
        with pytest.raises(exc, match=text):
            d.reset_baseline(baseline)
        assert state(d) == before
    d.compute_drift("JensenShannon")  # still usable


def test_bin_limit_is_inclusive():
    # eight values with iqr 1 and c = 8^(-1/3) = 0.5: the bin count is ceil(range)
    at_limit = [0.0, 0.0, 0.0, 0.5, 0.5, 0.5, 1.0, 1e6]
    assert ref_num_bins("FreedmanDiaconis", at_limit) == 1_000_000
    d = t.PyStreamingContinuousDataDriftDecay(f64(at_limit), None, None)
    assert d.n_bins == 1_000_000
    over = at_limit[:-1] + [1e6 + 0.5]
    assert ref_num_bins("FreedmanDiaconis", over) == 1_000_001
    with pytest.raises(ValueError, match="^The baseline needs 1000001 bins, more than the limit of 1000000 bins$"):
        t.PyContinuousDataDrift(f64(over), None)
    with pytest.raises(ValueError, match="1000001"):
        d.reset_baseline(f64(over))
    assert d.n_bins == 1_000_000


@pytest.mark.parametrize("make", [
    lambda: t.PyStreamingContinuousDataDriftDecay(f64(range(10)), None, 3),
    lambda: t.PyStreamingContinuousDataDriftFlush(f64(range(10)), None, None, None),
])
def test_continuous_runtime_arrays_must_be_contiguous_float64(make):
    d = make()
    d.update_stream_batch(f64([1.0, 2.0]))
    before = state(d)
    for bad, text in [
        (f64(range(10))[::2], "^The given array is not contiguous$"),
        (f64(range(10))[::-1], "^The given array is not contiguous$"),
        (np.ones((4, 3))[:, 1], "^The given array is not contiguous$"),
        (np.ones((2, 2)), "^argument 'runtime_data': "),
        (np.ones(3, dtype=np.float32), "^argument 'runtime_data': "),
        (np.ones(3, dtype=np.int64), "^argument 'runtime_data': "),
        (np.array(1.0), "^argument 'runtime_data': "),
        ([1.0, 2.0], "^argument 'runtime_data': "),
        (None, "^argument 'runtime_data': "),
    ]:
        with pytest.raises(TypeError, match=text):
            d.update_stream_batch(bad)
        assert state(d) == before
    with pytest.raises(ValueError, match=EMPTY_RUNTIME_RE):
        d.update_stream_batch(f64([]))
    for bad in ("1.0", None, [1.0], b"1"):
        with pytest.raises(TypeError, match="^argument 'runtime_example': "):
            d.update_stream(bad)
    assert state(d) == before
    # accepted forms: column of a Fortran array, read-only and unaligned buffers, numbers
    column = np.asfortranarray(np.array([[1.0, 0.0], [2.0, 0.0]]))[:, 0]
    readonly = f64([1.0, 2.0])
    readonly.flags.writeable = False
    unaligned = np.frombuffer(b"\0" + f64([1.0, 2.0]).tobytes(), dtype=np.float64, offset=1)
    for arr in (column, readonly, unaligned):
        d.update_stream_batch(arr)

    class Number:
        def __float__(self):
            return 2.0

    for v in (1, np.float32(1.0), Number(), True):
        d.update_stream(v)
    reference = make()
    reference.update_stream_batch(f64([1.0, 2.0] * 4 + [1.0, 1.0, 2.0, 1.0]))
    assert state(d) == state(reference)


@pytest.mark.parametrize("make", [
    lambda: t.PyStreamingCategoricalDataDriftDecay(["a", "b"], 3),
    lambda: t.PyStreamingCategoricalDataDriftFlush(["a", "b"], None, None),
])
def test_categorical_runtime_labels_must_be_str(make):
    d = make()
    d.update_stream_batch(["a", "b", "x"])
    before = state(d)
    for bad, text in [("ab", "Can't extract `str` to `Vec`"), (["a", None], "expected a string"),
                      ([b"a"], "expected a string"), (5, "expected a sequence"), (np.array([1, 2]), "")]:
        with pytest.raises(TypeError, match="^argument 'runtime_data': " + text):
            d.update_stream_batch(bad)
        assert state(d) == before
    with pytest.raises(ValueError, match=EMPTY_RUNTIME_RE):
        d.update_stream_batch(())
    for bad in (1, None, b"a", ["a"]):
        with pytest.raises(TypeError, match="^argument 'runtime_example': "):
            d.update_stream(bad)
    assert state(d) == before
    d.update_stream_batch(("a", "a"))
    d.update_stream_batch(np.array(["b", "zz"]))
    d.update_stream("a")
    assert d.total_samples == 8
    assert d.export_snapshot() == {"a": 4.0, "b": 2.0}


def test_str_arrays_are_read_as_their_items_with_many_distinct_values():
    # Str arrays are read from the buffer, each distinct item's bytes remembered up to
    # a cap: more distinct values than the cap, labels differing only after a NUL or
    # in a non-BMP code point, strided views and short batches must all count as the
    # same labels given as a list of str.
    rng = np.random.default_rng(8)
    pool = [f"v{i}" for i in range(3000)] + ["a\0b", "a", "\U0001F600", "\U0001F601x", "", "é"]
    baseline = pool[::2] + ["a\0b", "", "é"]
    values = np.array(pool)[rng.integers(0, len(pool), 20_000)]
    for runtime in (values, np.repeat(values, 2)[::2], values[:3]):
        as_array = t.PyStreamingCategoricalDataDriftDecay(baseline, None)
        as_list = t.PyStreamingCategoricalDataDriftDecay(baseline, None)
        as_array.update_stream_batch(runtime)
        as_list.update_stream_batch([str(v) for v in runtime])
        assert state(as_array) == state(as_list)
        batch = t.PyCategoricalDataDrift(baseline)
        assert batch.compute_drift(runtime, "JensenShannon") == batch.compute_drift(list(map(str, runtime)),
                                                                                   "JensenShannon")


def test_unknown_quantile_or_half_life_is_reported_before_the_baseline():
    strided = f64(range(10))[::2]
    with pytest.raises(TypeError, match="^The given array is not contiguous$"):
        t.PyStreamingContinuousDataDriftDecay(strided, "bad", 0)
    with pytest.raises(ValueError, match="^Unsupported drift type$"):
        t.PyStreamingContinuousDataDriftDecay(f64([1.0]), "scott", 0)
    with pytest.raises(ValueError, match="^Configuration not supported in current drift mode$"):
        t.PyStreamingContinuousDataDriftDecay(f64([np.nan]), None, 0)
    with pytest.raises(ValueError, match="^Configuration not supported in current drift mode$"):
        t.PyStreamingCategoricalDataDriftDecay([], 0)
    with pytest.raises(ValueError, match="^Unsupported drift type$"):
        t.PyStreamingContinuousDataDriftFlush(f64([1.0]), "Sturges ", None, None)
    with pytest.raises(ValueError, match="^Baseline data must be non empty$"):
        t.PyStreamingCategoricalDataDriftFlush([], 0, 0)
