"""merge: a stream split between two workers and merged reports what one worker that
saw all of it reports (bit for bit for counts, within the rounding of a reordered sum
for float sums), and a merge of anything built differently is refused unchanged."""
import copy
import struct

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import _tarvenn as t
import state_cases as sc
from state_cases import MERGEABLE, payload

EXACT = [c for c in MERGEABLE if c not in ("PyLinearRegressionStreaming", "PyLogisticRegressionStreaming")]


def batch(name, rng):
    """One batch of samples for `name`: (the call that adds it, its arguments)."""
    n = int(rng.integers(1, 40))
    bits = lambda: [int(v) for v in rng.integers(0, 2, n)]  # noqa: E731
    if name == "PyDataBiasStreaming":
        args = (bits(), bits())
    elif name == "PyModelBiasStreaming":
        args = (bits(), bits(), bits())
    elif name == "PyLinearRegressionStreaming":
        args = ([float(v) for v in rng.normal(2.0, 1.5, n)], [float(v) for v in rng.normal(2.0, 1.5, n)])
    elif name == "PyLogisticRegressionStreaming":
        args = ([float(v) for v in bits()], [float(v) for v in rng.random(n)])
    elif name == "PyBinaryClassificationStreaming":
        args = (bits(), bits())
    elif "Continuous" in name:
        args = (rng.normal(0.5, 4.0, n),)
    else:
        args = (sc._labels(rng, n, extra=["unseen"]),)
    method = "update_stream_batch" if name in sc.STREAMING_DRIFT else "push_batch"
    return (lambda obj: getattr(obj, method)(*args)), args


def no_rate_flush(name, args):
    # a flush rate beyond any test stream, so the split and the single stream agree
    if "Flush" in name:
        args = args[:-2] + (10 ** 9, 86400) if "Continuous" in name else (args[0], 10 ** 9, 86400)
    return args


def split_and_merge(name, seed, n_batches=8, data=None):
    """(one stream, the merge of two workers that saw it split); the batches' arguments
    are appended to `data` when given."""
    rng = np.random.default_rng(seed)
    args = no_rate_flush(name, sc.baseline_args(name, rng))
    cls = getattr(t, name)
    single, a, b = cls(*args), cls(*args), cls(*args)
    for _ in range(n_batches):
        add, batch_args = batch(name, rng)
        add(single)
        add(a if rng.random() < 0.5 else b)
        if data is not None:
            data.append(batch_args)
    a.merge(b)
    return single, a


@settings(max_examples=50, deadline=None)
@given(name=st.sampled_from(EXACT), seed=st.integers(0, 2 ** 32 - 1))
def test_merged_counts_equal_one_stream_bit_for_bit(name, seed):
    single, merged = split_and_merge(name, seed)
    assert sc.observe(merged, name) == sc.observe(single, name)
    assert sc.continue_with(merged, name, seed) == sc.continue_with(single, name, seed)


def f64_sums(obj, name):
    body = payload(obj.__getstate__())
    if name == "PyLinearRegressionStreaming":
        return np.array(struct.unpack_from("<10d", body, 8 * 4))
    return np.array(struct.unpack_from("<d", body, 8 * 4 + 32))


def abs_term_sums(name, data):
    """sum |x_i| of the terms of every running sum (in float64; only a bound's scale)."""
    y = np.concatenate([np.float32(a[0]) for a in data]).astype(np.float64)
    p = np.concatenate([np.float32(a[1]) for a in data]).astype(np.float64)
    if name == "PyLogisticRegressionStreaming":
        q = np.clip(p, 1e-7, 1 - 1e-7)
        return np.array([np.sum(np.abs((1 - y) * np.log(1 - q) + y * np.log(q)))]), len(y)
    e = y - p
    with np.errstate(all="ignore"):
        le = np.log(y + 1.0) - np.log(p + 1.0)
        terms = [e * e, np.abs(e), np.zeros(1), le * le, np.abs(np.abs(e) / y), y, np.ones_like(y), y * y, p * p, y * p]
    return np.array([np.sum(np.abs(x)) for x in terms]), len(y)


@pytest.mark.parametrize("name", ["PyLinearRegressionStreaming", "PyLogisticRegressionStreaming"])
def test_merged_float_sums_are_within_the_reordering_bound(name):
    """Both are recursive sums of the same n terms in two orders: each is within
    (n - 1) u sum|x| of the exact sum (u = 2^-53), so they differ by at most
    2 (n - 1) u sum|x|. The 32-bit metrics derived from them then differ by a few
    units in the last place at most."""
    worst_ratio, worst_ulps = 0.0, 0
    for seed in range(200):
        data = []
        single, merged = split_and_merge(name, seed, n_batches=10, data=data)
        s, m = f64_sums(single, name), f64_sums(merged, name)
        scale, n = abs_term_sums(name, data)
        both_nan = np.isnan(s) & np.isnan(m)
        diff = np.where(both_nan, 0.0, np.abs(s - m))
        bound = 2 * (n - 1) * 2.0 ** -53 * scale * (1 + 1e-9)
        assert np.all((diff <= bound) | both_nan), (seed, diff, bound)
        with np.errstate(all="ignore"):
            ratios = np.where(bound > 0, diff / bound, 0.0)
        worst_ratio = max(worst_ratio, float(np.nanmax(ratios)))
        one, two = single.performance_snapshot(), merged.performance_snapshot()
        for key in one:
            x, y = np.float32(one[key]), np.float32(two[key])
            if not (np.isnan(x) and np.isnan(y)):
                worst_ulps = max(worst_ulps, abs(int(x.view(np.int32)) - int(y.view(np.int32))))
    assert worst_ulps <= 4, worst_ulps
    print(f"{name}: worst |merged - single| / bound = {worst_ratio:.3g}, worst 32-bit metric ulps = {worst_ulps}")


def test_merge_takes_max_error_and_exact_counts():
    a = t.PyLinearRegressionStreaming([1.0, 2.0], [1.0, 2.0])
    b = t.PyLinearRegressionStreaming([1.0, 2.0], [1.0, 2.0])
    a.push_batch([1.0, 2.0], [1.5, 2.0])
    b.push_batch([1.0, 5.0], [1.0, 1.0])
    a.merge(b)
    assert a.performance_snapshot()["MaxError"] == 4.0


def test_flush_mode_merge_at_the_rate_flushes_on_the_next_sample():
    a = t.PyStreamingCategoricalDataDriftFlush(["a", "b"], 10, 86400)
    b = copy.copy(a)
    a.update_stream_batch(["a"] * 6)
    b.update_stream_batch(["b"] * 7)
    a.merge(b)
    # the merged window holds all 13 samples until the next one arrives
    assert a.total_samples == 13
    assert a.export_snapshot() == {"a": 6, "b": 7}
    a.update_stream("a")
    assert a.total_samples == 1


def test_flush_mode_merge_keeps_the_earlier_last_flush():
    a = t.PyStreamingCategoricalDataDriftFlush(["a", "b"], 10, 86400)
    b = copy.copy(a)
    a.update_stream("a")
    state = bytearray(payload(b.__getstate__()))
    elapsed_at = 8 + 2 * 9 + 8 + 3 * 8 + 16
    state[elapsed_at:elapsed_at + 8] = struct.pack("<Q", 3600 * 10 ** 9)
    old = t.PyStreamingCategoricalDataDriftFlush._from_state(sc.with_payload(b.__getstate__(), state))
    a.merge(old)
    assert a.last_flush == 3600
    old.merge(t.PyStreamingCategoricalDataDriftFlush(["a", "b"], 10, 86400))
    assert old.last_flush == 3600


def test_merge_with_itself_doubles_the_counts():
    a = t.PyBinaryClassificationStreaming([1, 0], [1, 0])
    a.push_batch([1, 0, 1], [1, 1, 0])
    b = copy.copy(a)
    b.push_batch([1, 0, 1], [1, 1, 0])
    a.merge(a)
    assert a.performance_snapshot() == b.performance_snapshot()


# ---- refusals ------------------------------------------------------------------------

def refused(target, other):
    before = target.__getstate__()
    with pytest.raises(ValueError) as info:
        target.merge(other)
    if "Flush" not in type(target).__name__:
        assert target.__getstate__() == before
    return str(info.value)


def test_merge_refuses_other_classes_and_types():
    rng = np.random.default_rng(3)
    objects = {name: sc.with_history(name, rng, 3) for name in sc.CLASSES}
    for name in MERGEABLE:
        for other in sc.CLASSES:
            if other != name:
                assert refused(objects[name], objects[other]) == f"cannot merge a {other} into a {name}"
        with pytest.raises(TypeError) as info:
            objects[name].merge(None)
        assert str(info.value) == f"argument 'other': expected {name}, not NoneType"
    for name in sc.BATCH_DRIFT:
        assert not hasattr(objects[name], "merge")


def test_merge_refuses_another_baseline_or_setting():
    bias = t.PyDataBiasStreaming([1, 0, 1, 0], [1, 1, 0, 0])
    assert refused(bias, t.PyDataBiasStreaming([1, 0, 1, 0], [1, 1, 0, 1])) == "cannot merge: the baselines differ"
    f, p, g = sc.baseline_args("PyModelBiasStreaming", np.random.default_rng(0))
    model = t.PyModelBiasStreaming(f, p, g)
    assert refused(model, t.PyModelBiasStreaming(f, p, g[::-1])) == "cannot merge: the baselines differ"
    lin = t.PyLinearRegressionStreaming([1.0, 2.0], [1.0, 2.5])
    assert refused(lin, t.PyLinearRegressionStreaming([1.0, 2.0], [1.0, 2.0])) == "cannot merge: the baselines differ"
    log = t.PyLogisticRegressionStreaming([1.0, 0.0], [0.9, 0.1], 0.5)
    other = t.PyLogisticRegressionStreaming([1.0, 0.0], [0.9, 0.1], 0.5)
    other.reset_baseline_and_decision_threshold([1.0, 0.0], [0.9, 0.1], 0.6)  # same metrics, other threshold
    assert refused(log, other) == "cannot merge: the decision thresholds differ"
    assert refused(log, t.PyLogisticRegressionStreaming([1.0, 0.0], [0.8, 0.1], 0.5)) == \
        "cannot merge: the baselines differ"
    binary = t.PyBinaryClassificationStreaming([1, 0], [1, 0])
    assert refused(binary, t.PyBinaryClassificationStreaming([1, 0], [0, 0])) == "cannot merge: the baselines differ"

    base = np.arange(30.0)
    cont = t.PyStreamingContinuousDataDriftDecay(base, None, 4)
    assert refused(cont, t.PyStreamingContinuousDataDriftDecay(base, None, 5)) == \
        "cannot merge: the decay half-lives differ"
    assert refused(cont, t.PyStreamingContinuousDataDriftDecay(base, "Sturges", 4)) == \
        "cannot merge: the baselines differ"
    assert refused(cont, t.PyStreamingContinuousDataDriftDecay(base + 1.0, None, 4)) == \
        "cannot merge: the baselines differ"
    flush = t.PyStreamingContinuousDataDriftFlush(base, None, 10, 60)
    assert refused(flush, t.PyStreamingContinuousDataDriftFlush(base, None, 11, 60)) == \
        "cannot merge: the flush settings differ"
    assert refused(flush, t.PyStreamingContinuousDataDriftFlush(base, None, 10, 61)) == \
        "cannot merge: the flush settings differ"
    cat = t.PyStreamingCategoricalDataDriftFlush(["a", "b"], 10, 60)
    assert refused(cat, t.PyStreamingCategoricalDataDriftFlush(["a", "c"], 10, 60)) == \
        "cannot merge: the baselines differ"
    assert refused(cat, t.PyStreamingCategoricalDataDriftFlush(["a", "b", "b"], 10, 60)) == \
        "cannot merge: the baselines differ"
    decay = t.PyStreamingCategoricalDataDriftDecay(["a", "b"], 2)
    assert refused(decay, t.PyStreamingCategoricalDataDriftDecay(["a", "b"], None)) == \
        "cannot merge: the decay half-lives differ"


def test_merge_refuses_counts_that_would_overflow():
    a = t.PyBinaryClassificationStreaming([1, 0], [1, 0])
    body = bytearray(payload(a.__getstate__()))
    body[7 * 4 + 4:7 * 4 + 12] = struct.pack("<Q", 2 ** 63)
    big = t.PyBinaryClassificationStreaming._from_state(sc.with_payload(a.__getstate__(), body))
    assert refused(big, big) == "cannot merge: the counts would overflow"
