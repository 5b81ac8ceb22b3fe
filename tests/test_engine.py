"""The accumulators of tarvenn._engine against the batch functions of _tarvenn on the same rows:
split anywhere, merged in any grouping, they finish into the batch function's dict."""

import math
import struct
import threading

import numpy as np
import pytest

import _tarvenn as T
from tarvenn import _engine as E

MEASURES = ["JensenShannon", "PopulationStabilityIndex", "WassersteinDistance", "KullbackLeibler"]
RNG = np.random.default_rng(20261208)


def splits(n, parts, rng=RNG):
    """Cut points of `parts` consecutive slices of n rows; some slices are empty."""
    cuts = np.sort(rng.integers(0, n + 1, parts - 1))
    bounds = [0, *cuts.tolist(), n]
    return [slice(a, b) for a, b in zip(bounds, bounds[1:])]


def merged(make, add, n, parts, tree=False):
    """One accumulator per slice, merged left to right (or pairwise when `tree`)."""
    accs = []
    for part in splits(n, parts):
        acc = make()
        add(acc, part)
        accs.append(acc)
    while len(accs) > 1:
        if tree:
            nxt = []
            for i in range(0, len(accs), 2):
                if i + 1 < len(accs):
                    accs[i].merge(accs[i + 1])
                nxt.append(accs[i])
            accs = nxt
        else:
            accs[0].merge(accs.pop(1))
    return accs[0]


def same_floats(a, b):
    assert a.keys() == b.keys()
    for k in a:
        assert np.float32(a[k]).tobytes() == np.float32(b[k]).tobytes() or (math.isnan(a[k]) and math.isnan(b[k])), k


def close_floats(a, b, rel=2e-6):
    """Within a few 32-bit steps: the float sums were added in another order."""
    assert a.keys() == b.keys()
    for k in a:
        if math.isnan(b[k]):
            assert math.isnan(a[k]), k
        else:
            assert a[k] == pytest.approx(b[k], rel=rel, abs=1e-12), k


# --- bias ---------------------------------------------------------------------------------


def facet_columns(n):
    """(array, plain value) pairs of every kind the module labels."""
    return [
        (RNG.integers(0, 6, n), 3),                   # integer, discrete
        (RNG.random(n), 0.5),                         # float, continuous
        (RNG.integers(0, 6, n).astype(np.float32), 2.0),
        (RNG.random(n) < 0.3, True),                  # boolean
        (np.array(["a", "b", "c"], dtype=object)[RNG.integers(0, 3, n)], "b"),  # text
        (RNG.integers(-5000, 5000, n).astype(np.int16), 2.5),  # continuous integers, float label
    ]


@pytest.mark.parametrize("parts,tree", [(1, False), (5, False), (9, True)])
def test_data_bias_counts_equal_the_batch_analysis_on_plain_values(parts, tree):
    n = 20_000
    g = RNG.integers(0, 2, n)
    for f, value in facet_columns(n):
        continuous = E.DistinctValues(E.continuous_distinct_count(n))
        if E.element_kind(f) in ("float", "integer"):
            continuous.add(f)
        decided = continuous.saturated and continuous.cap > 0
        want = T.py_data_bias_analyzer(f, g, value, 1)
        acc = merged(
            E.DataBiasCounts,
            lambda a, s: a.add(f[s], ("value", value, decided), g[s], ("value", 1, False)),
            n,
            parts,
            tree,
        )
        assert acc.rows == n
        same_floats(acc.finish(), want)


def test_data_bias_counts_equal_the_explicit_analysis():
    n = 10_000
    f = RNG.normal(size=n)
    g = RNG.integers(0, 2, n).astype(np.float64)
    text = np.array(["x", "y"], dtype=object)[RNG.integers(0, 2, n)]
    for t_type in ("GreaterThan", "GreaterThanEqualTo", "LessThan", "LessThanEqualTo"):
        want = T.py_data_bias_analyzer_explicit_seg(f, 0.25, None, t_type, g, 1.0, None, "GreaterThanEqualTo")
        acc = merged(
            E.DataBiasCounts,
            lambda a, s: a.add(f[s], ("compare", 0.25, t_type), g[s], ("compare", 1.0, "GreaterThanEqualTo")),
            n,
            4,
        )
        same_floats(acc.finish(), want)
    want = T.py_data_bias_analyzer_explicit_seg(text, None, "y", None, g, 0.5, None, "GreaterThan")
    acc = merged(
        E.DataBiasCounts, lambda a, s: a.add(text[s], ("text", "y"), g[s], ("compare", 0.5, "GreaterThan")), n, 3
    )
    same_floats(acc.finish(), want)


def test_model_bias_cells_equal_the_batch_analysis_with_its_entropy():
    n = 30_000
    f = RNG.integers(0, 4, n)
    g = RNG.integers(0, 2, n)
    p = np.where(RNG.random(n) < 0.8, g, 1 - g)
    want = T.py_model_bias_analyzer(f, g, p, 1, 1, 1)
    acc = merged(
        E.ModelBiasCells,
        lambda a, s: a.add(f[s], ("value", 1, False), g[s], ("value", 1, False), p[s], ("value", 1, False)),
        n,
        7,
        tree=True,
    )
    assert acc.rows == n
    same_floats(acc.finish(), want)
    score = RNG.random(n)
    want = T.py_model_bias_analyzer_explicit_seg(f, 2.0, None, "GreaterThanEqualTo", g, 0.5, None, "GreaterThan",
                                                 score, 0.7, None, "LessThan")
    acc = merged(
        E.ModelBiasCells,
        lambda a, s: a.add(f[s], ("compare", 2.0, "GreaterThanEqualTo"), g[s], ("compare", 0.5, "GreaterThan"),
                           score[s], ("compare", 0.7, "LessThan")),
        n,
        5,
    )
    same_floats(acc.finish(), want)


def test_bias_failures_are_those_of_the_batch_functions():
    f = np.array([1, 1, 0, 0])
    g = np.array([1, 0, 1, 0])
    acc = E.DataBiasCounts()
    with pytest.raises(Exception) as batch:
        T.py_data_bias_analyzer(f, g, 7, 1)  # empty facet
    acc.add(f, ("value", 7, False), g, ("value", 1, False))
    with pytest.raises(type(batch.value), match=str(batch.value)):
        acc.finish()
    with pytest.raises(Exception) as batch:
        T.py_data_bias_analyzer(f, g[:3], 1, 1)
    with pytest.raises(type(batch.value), match=str(batch.value)):
        acc.add(f, ("value", 1, False), g[:3], ("value", 1, False))
    assert acc.rows == 4  # the failed add changed nothing
    with pytest.raises(Exception) as batch:
        T.py_model_bias_analyzer(f[:0], g[:0], g[:0], 1, 1, 1)
    with pytest.raises(type(batch.value), match=str(batch.value)):
        E.ModelBiasCells().finish()  # no rows
    with pytest.raises(ValueError, match="Invalid bias configuration"):
        acc.add(f, ("compare", 1.0, "Above"), g, ("value", 1, False))
    for rule in [("value", 1), ("nope", 1, 2), [("value", 1, False)], ("value", 1, "yes")]:
        with pytest.raises(TypeError, match="a rule is"):
            acc.add(f, rule, g, ("value", 1, False))
    with pytest.raises(TypeError, match="argument 'feature'"):
        acc.add([1, 0], ("value", 1, False), g, ("value", 1, False))
    with pytest.raises(TypeError, match="DataBiasCounts"):
        acc.merge(E.ModelBiasCells())


# --- continuity ---------------------------------------------------------------------------


def test_distinct_values_decide_continuity_as_the_module_does_on_the_whole_column():
    n = 4_000
    d = E.continuous_distinct_count(n)
    assert d == 201  # 201 / 4000 is the first ratio above 0.05 in 32-bit floats
    assert E.continuous_distinct_count(3) == 0 and E.continuous_distinct_count(0) == 0
    g = RNG.integers(0, 2, n)
    # Columns with D - 1 and D distinct values, with NaNs (each its own value) and both zeros.
    for distinct in (d - 2, d - 1, d):
        base = np.arange(distinct - 3, dtype=np.float64)
        col = np.concatenate([base, [np.nan, 0.0, -0.0, np.nan]])
        col = RNG.permutation(np.resize(col, n))
        col[:4] = [np.nan, -0.0, 0.0, np.nan]  # every special value is present
        batch = T.py_data_bias_analyzer(col, g, 5.0, 1)
        sample = merged(lambda: E.DistinctValues(d), lambda a, s: a.add(col[s]), n, 6, tree=True)
        assert sample.count <= d
        acc = E.DataBiasCounts()
        acc.add(col, ("value", 5.0, sample.saturated), g, ("value", 1, False))
        same_floats(acc.finish(), batch)
        assert sample.saturated == (len(np.unique(col[~np.isnan(col)])) + np.isnan(col).sum() >= d)


def test_distinct_values_refuse_what_the_decision_never_reads():
    with pytest.raises(TypeError, match="numeric"):
        E.DistinctValues(5).add(np.array(["a"], dtype=object))
    with pytest.raises(TypeError, match="numeric"):
        E.DistinctValues(5).add(np.array([True]))
    with pytest.raises(ValueError, match="different caps"):
        E.DistinctValues(5).merge(E.DistinctValues(6))
    assert [E.element_kind(np.zeros(1, t)) for t in ("f4", "i2", "?", "O", ">f8")] == [
        "float", "integer", "boolean", "other", "other"]


# --- performance --------------------------------------------------------------------------


def test_classification_counts_are_bit_for_bit():
    n = 50_000
    t = RNG.integers(0, 2, n).astype(np.float64)
    p = RNG.integers(0, 2, n).astype(np.int32)
    want = T.py_model_perf_classification(t, p)
    acc = merged(E.ClassificationCounts, lambda a, s: a.add(t[s], p[s]), n, 6)
    assert acc.rows == n
    same_floats(acc.finish(), want)
    same_floats(E.ClassificationCounts().finish(), T.py_model_perf_classification(t[:0], p[:0]))


def test_logistic_and_regression_sums_one_add_is_the_batch_and_merges_stay_within_bound():
    n = 60_000
    t = RNG.integers(0, 2, n).astype(np.float32)
    score = RNG.random(n)
    want = T.py_model_perf_logistic_regression(t, score, 0.4)
    one = E.LogisticCounts(0.4)
    for s in splits(n, 4):  # consecutive adds continue the sum in row order
        one.add(t[s], score[s])
    same_floats(one.finish(), want)
    close_floats(merged(lambda: E.LogisticCounts(0.4), lambda a, s: a.add(t[s], score[s]), n, 8, True).finish(), want)

    y = RNG.normal(10, 3, n)
    yhat = y + RNG.normal(0, 1, n)
    want = T.py_model_perf_linear_regression(y, yhat)
    one = E.RegressionSums()
    one.add(y, yhat)
    same_floats(one.finish(), want)
    close_floats(merged(E.RegressionSums, lambda a, s: a.add(y[s], yhat[s]), n, 8, True).finish(), want)


def test_performance_failures_are_those_of_the_batch_functions():
    t = np.array([1.0, 0.0])
    with pytest.raises(Exception) as batch:
        T.py_model_perf_logistic_regression(t[:0], t[:0], 0.5)
    with pytest.raises(type(batch.value), match=str(batch.value)):
        E.LogisticCounts(0.5).finish()
    with pytest.raises(Exception) as batch:
        T.py_model_perf_linear_regression(t[:0], t[:0])
    with pytest.raises(type(batch.value), match=str(batch.value)):
        E.RegressionSums().finish()
    with pytest.raises(ValueError, match="Invalid types passed"):
        E.RegressionSums().add(np.array(["a"], dtype=object), t[:1])
    with pytest.raises(Exception) as batch:
        T.py_model_perf_classification(t, t[:1])
    with pytest.raises(type(batch.value), match=str(batch.value)):
        E.ClassificationCounts().add(t, t[:1])
    with pytest.raises(ValueError, match="different thresholds"):
        E.LogisticCounts(0.5).merge(E.LogisticCounts(0.25))


# --- drift --------------------------------------------------------------------------------


@pytest.mark.parametrize("rule", [None, "Scott", "Sturges"])
def test_continuous_bin_counts_equal_the_one_shot_drift(rule):
    ref = RNG.normal(size=3_000)
    cur = np.concatenate([RNG.normal(0.3, 1.2, 40_000), [np.inf, -np.inf, np.nan, 1e300]])
    want = T.py_compute_drift_continuous_distribtuion(ref, cur, MEASURES, rule)
    template = E.ContinuousBinCounts(ref, rule)
    acc = merged(template.empty_copy, lambda a, s: a.add(cur[s]), len(cur), 7, True)
    assert acc.rows == len(cur)
    assert acc.finish(MEASURES) == want
    assert acc.num_bins == T.PyContinuousDataDrift(ref, rule).num_bins


def test_categorical_bin_counts_equal_the_one_shot_drift():
    ref = list(np.array(["a", "b", "c", "é"], dtype=object)[RNG.integers(0, 4, 500)])
    cur = np.array(["a", "b", "zz", "é"], dtype=object)[RNG.integers(0, 4, 9_000)]
    want = T.py_compute_drift_categorical_distribtuion(ref, list(cur), MEASURES[:2])
    template = E.CategoricalBinCounts(ref)
    acc = merged(template.empty_copy, lambda a, s: a.add(list(cur[s])), len(cur), 5)
    assert acc.finish(MEASURES[:2]) == want


def test_drift_failures():
    ref = RNG.normal(size=100)
    acc = E.ContinuousBinCounts(ref)
    with pytest.raises(Exception) as batch:
        T.py_compute_drift_continuous_distribtuion(ref, ref[:0], MEASURES, None)
    with pytest.raises(type(batch.value), match=str(batch.value)):
        acc.finish(MEASURES)
    with pytest.raises(ValueError, match="Unsupported drift type"):
        acc.finish(["Nope"])
    with pytest.raises(ValueError, match="Unsupported drift type"):
        E.check_drift_measures(["JensenShannon", "Nope"])
    with pytest.raises(ValueError, match="different baselines"):
        acc.merge(E.ContinuousBinCounts(ref + 1))
    with pytest.raises(ValueError, match="different baselines"):
        E.CategoricalBinCounts(["a"]).merge(E.CategoricalBinCounts(["b"]))
    acc.merge(E.ContinuousBinCounts(ref.copy()))  # equal baselines merge
    with pytest.raises(TypeError):
        acc.add(np.arange(3))  # the batch detectors read float64 only


# --- threads ------------------------------------------------------------------------------


def test_add_runs_without_the_interpreter_lock_and_refuses_a_second_thread():
    n = 20_000_000
    f = np.zeros(n)
    g = np.ones(n, dtype=np.int8)
    acc = E.DataBiasCounts()
    refused = []
    started = threading.Event()

    def count():
        started.set()
        acc.add(f, ("compare", 0.5, "LessThan"), g, ("value", 1, False))

    worker = threading.Thread(target=count)
    worker.start()
    started.wait()
    other = E.DataBiasCounts()
    while worker.is_alive():
        try:
            acc.merge(other)
        except RuntimeError as exc:
            refused.append(str(exc))
    worker.join()
    # The main thread ran while the add counted, so the lock was released, and was refused.
    assert refused and refused[0] == "the accumulator is in use by another thread"
    assert acc.counts == (n, n, 0, 0)


# --- state ------------------------------------------------------------------------------


def filled_accumulators():
    """One accumulator of every class, with some rows counted."""
    n = 2_000
    f = RNG.integers(0, 3, n)
    g = RNG.integers(0, 2, n)
    s = RNG.random(n)
    db = E.DataBiasCounts()
    db.add(f, ("value", 1, False), g, ("value", 1, False))
    mb = E.ModelBiasCells()
    mb.add(f, ("value", 1, False), g, ("value", 1, False), s, ("compare", 0.5, "GreaterThan"))
    cl = E.ClassificationCounts()
    cl.add(g, 1 - g)
    lo = E.LogisticCounts(0.3)
    lo.add(g, s)
    rg = E.RegressionSums()
    rg.add(s, s * 1.1)
    cb = E.ContinuousBinCounts(s[:500], "Sturges")
    cb.add(s)
    kb = E.CategoricalBinCounts(["b", "a", "é"])
    kb.add(["a", "zz", "é"])
    dv = E.DistinctValues(100)
    dv.add(np.concatenate([s[:50], [np.nan]]))
    return [
        (db, lambda a: a.finish()), (mb, lambda a: a.finish()), (cl, lambda a: a.finish()),
        (lo, lambda a: a.finish()), (rg, lambda a: a.finish()), (cb, lambda a: a.finish(MEASURES)),
        (kb, lambda a: a.finish(MEASURES)), (dv, lambda a: (a.count, a.cap, a.saturated)),
    ]


def test_every_accumulator_round_trips_through_its_bytes():
    for acc, finish in filled_accumulators():
        data = acc.serialize()
        back = E.load(data)
        assert type(back) is type(acc)
        assert back.serialize() == data
        assert repr(finish(back)) == repr(finish(acc))
        back.merge(acc)  # a loaded accumulator merges with the one it came from
        assert back.serialize() != data or isinstance(acc, E.DistinctValues)


def test_load_refuses_every_damaged_state_with_a_value_error():
    for acc, _ in filled_accumulators():
        data = acc.serialize()
        for cut in (0, 7, 19, len(data) // 2, len(data) - 1):
            with pytest.raises(ValueError):
                E.load(data[:cut])
        with pytest.raises(ValueError):
            E.load(data + b"\0")
        for i in range(0, len(data), max(1, len(data) // 40)):
            broken = bytearray(data)
            broken[i] ^= 0x41
            with pytest.raises(ValueError):
                E.load(bytes(broken))
    with pytest.raises(TypeError, match="argument 'data'"):
        E.load("not bytes")


def crc32c(data):
    crc = 0xFFFFFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0x82F63B78 if crc & 1 else crc >> 1
    return crc ^ 0xFFFFFFFF


def forged(tag, payload):
    """A well-framed state (right magic, length and checksum) around any payload."""
    body = b"TARVENN\x1a" + struct.pack("<HHQ", 1, tag, len(payload)) + payload
    return body + struct.pack("<I", crc32c(body))


def test_load_validates_the_fields_of_a_well_framed_state():
    ok = forged(256, struct.pack("<4Q", 1, 2, 3, 4))
    assert E.load(ok).counts == (1, 2, 3, 4)
    assert E.load(ok).serialize() == ok  # the frame is the shared state format
    bad = [
        forged(256, struct.pack("<4Q", 3, 2, 0, 4)),                      # more positives than rows
        forged(256, struct.pack("<4Q", 0, 2**64 - 1, 0, 1)),              # rows overflow
        forged(259, struct.pack("<f4QdQ", 0.5, 1, 1, 1, 1, -1.0, 5)),     # counts do not add up to rows
        forged(260, struct.pack("<10d", *([0.0] * 6 + [2.5] + [0.0] * 3))),  # a fractional pair count
        forged(263, struct.pack("<QQQ2Q", 5, 0, 2, 9, 3)),                # keys out of order
        forged(263, struct.pack("<QQQ2Q", 1, 0, 2, 3, 9)),                # more keys than the cap
        forged(261, struct.pack("<BIQdQ3dQ3Q", 0, 3, 1, 0.0, 3, 0.5, 2.0, 0.5, 3, 1, 1, 1)),  # fraction above 1
        forged(261, struct.pack("<BIQdQ3dQ2Q", 0, 3, 1, 0.0, 3, 0.5, 0.0, 0.5, 2, 1, 1)),    # counts for 2 of 3 bins
        forged(262, struct.pack("<QQ1sQ1sQ3dQ3Q", 2, 1, b"b", 1, b"a", 3, 0.5, 0.5, 0.0, 3, 0, 0, 0)),  # unsorted
        forged(256, struct.pack("<4Q", 1, 2, 3, 4) + b"x"),               # unread bytes
        forged(256, struct.pack("<3Q", 1, 2, 3)),                         # truncated payload
        forged(6, b""),                                                   # a class of _tarvenn
        forged(999, b""),                                                 # an unknown class
    ]
    for data in bad:
        with pytest.raises(ValueError):
            E.load(data)
    good_bins = forged(261, struct.pack("<BIQdQ3dQ3Q", 0, 3, 1, 0.0, 3, 0.5, 0.0, 0.5, 3, 1, 0, 1))
    assert E.load(good_bins).rows == 2
