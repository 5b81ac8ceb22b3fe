"""Streaming drift detectors against a plain-Python model of the window: decay, flush by
rate and by cadence, exports, getters, and the state after failed calls."""
import ctypes
import ctypes.util
import math
import time

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import _tarvenn as t
from test_drift import NAMES, ref_bin, ref_edges, ref_measure, ref_num_bins

_libm = ctypes.CDLL(ctypes.util.find_library("m"))
_libm.exp2.restype = ctypes.c_double
_libm.exp2.argtypes = [ctypes.c_double]

EMPTY_RUNTIME = "^Data used for runtime drift analysis must be non empty$"


def f64(values):
    return np.array(values, dtype=np.float64)


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
                with pytest.raises(ValueError, match=EMPTY_RUNTIME):
                    detector.compute_drift_multiple_criteria(arg)
            elif len(arg) == 1:
                assert detector.compute_drift(arg[0]) == want[0]
            else:
                assert detector.compute_drift_multiple_criteria(arg) == want
        assert detector.total_samples == model.window.total_samples()
        want_snapshot = model.snapshot()
        if want_snapshot is None:
            with pytest.raises(ValueError, match=EMPTY_RUNTIME):
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
    with pytest.raises(ValueError, match=EMPTY_RUNTIME):
        d.compute_drift("JensenShannon")
    with pytest.raises(ValueError, match=EMPTY_RUNTIME):
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
    with pytest.raises(ValueError, match=EMPTY_RUNTIME):
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
    with pytest.raises(ValueError, match=EMPTY_RUNTIME):
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
    with pytest.raises(ValueError, match=EMPTY_RUNTIME):
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
