import math
import random

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import _tarvenn as t

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
