import math
import struct

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import _tarvenn as t

F = np.float32
METRICS = [
    "DifferenceInPositivePredictedLabels", "DisparateImpact", "AccuracyDifference", "RecallDifference",
    "DifferenceInConditionalAcceptance", "DifferenceInAcceptanceRate", "SpecialityDifference",
    "DifferenceInConditionalRejection", "DifferenceInRejectionRate", "TreatmentEquity",
    "ConditionalDemographicDesparityPredictedLabels", "GeneralizedEntropy",
]
LENGTH_MSG = "All data arrays must have equal length and be at least lenght 1"
NO_FACET_MSG = "No deviation in behavior between facets"


def bits(x):
    return struct.pack("<d", float(x))


def same_values(a, b):
    assert set(a) == set(b)
    assert {k: bits(a[k]) for k in a} == {k: bits(b[k]) for k in b}


def cells(f, p, g):
    """Exact confusion counts {group: [tp, fp, tn, fn]} of 0/1 label lists (member = 1)."""
    c = {True: [0, 0, 0, 0], False: [0, 0, 0, 0]}
    for fi, pi, gi in zip(f, p, g):
        pred, obs = pi == 1, gi == 1
        c[fi == 1][0 if pred and obs else 1 if pred else 3 if obs else 2] += 1
    return c


def reference(c):
    """The twelve metrics in float32 scalar arithmetic from exact counts, or the error name."""
    (tpf, fpf, tnf, fnf), (tpr, fpr, tnr, fnr) = c[True], c[False]
    nf, nr = tpf + fpf + tnf + fnf, tpr + fpr + tnr + fnr
    if nf == 0 or nr == 0:
        return "empty"
    yf, yr, pf, pr = tpf + fnf, tpr + fnr, tpf + fpf, tpr + fpr
    Tf, Pf_, Nf, Nr, Yf, Yr, Pf, Pr = (F(x) for x in (tpf, fpf, nf, nr, yf, yr, pf, pr))
    TPf, FPf, TNf, FNf, TPr, FPr, TNr, FNr = (F(x) for x in (tpf, fpf, tnf, fnf, tpr, fpr, tnr, fnr))
    qf, qr = Pf / Nf, Pr / Nr
    if (qr == 0 or yf == 0 or yr == 0 or Nr - Pr == 0 or Nf - Pf == 0 or TNr + FNr == 0
            or TNf + FNf == 0 or FPf == 0 or FPr == 0):
        return "undefined"
    acc = lambda tp, fp, tn, fn: (tp + tn) / (tn + ((tp + fp) + fn))
    n, s, tt = nf + nr, tpf + tpr + tnf + tnr + 2 * (fpf + fpr), tpf + tpr + tnf + tnr + 4 * (fpf + fpr)
    ge = F(((float(n) * float(tt)) / (float(s) * float(s)) - 1.0) / 2.0)
    rejected, predicted = n - (pf + pr), pf + pr
    dd = F(nf - pf) / F(rejected) - Pf / F(predicted)
    values = [
        qf - qr, qf / qr, acc(TPf, FPf, TNf, FNf) - acc(TPr, FPr, TNr, FNr),
        TPf / (TPf + FNf) - TPr / (TPr + FNr), Pf / Yf - Pr / Yr, TPf / (TPf + FPf) - TPr / (TPr + FPr),
        TNf / (TNf + FPf) - TNr / (TNr + FPr), (Nr - Yr) / (Nr - Pr) - (Nf - Yf) / (Nf - Pf),
        TNr / (TNr + FNr) - TNf / (TNf + FNf), FNr / FPr - FNf / FPf, dd, ge,
    ]
    return dict(zip(METRICS, (float(v) for v in values)))


def analyze(f, p, g):
    a = lambda x: np.asarray(x, dtype=np.int64)
    return t.py_model_bias_analyzer(a(f), a(g), a(p), 1, 1, 1)


# A population for which every metric is defined.
BASE_F = [1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0]
BASE_P = [1, 1, 0, 0, 1, 1, 0, 1, 0, 0, 1]
BASE_G = [1, 0, 1, 0, 1, 1, 0, 0, 1, 0, 1]

samples = st.lists(st.tuples(*[st.integers(0, 1)] * 3), min_size=1, max_size=60)


# --- batch analysis -------------------------------------------------------------------------

@settings(max_examples=300, deadline=None)
@given(samples)
def test_batch_matches_float32_reference_and_streaming(rows):
    f, p, g = (list(x) for x in zip(*rows))
    expected = reference(cells(f, p, g))
    monitor = t.PyModelBiasStreaming(BASE_F, BASE_P, BASE_G)
    monitor.push_batch(f, p, g)
    if expected == "empty":
        with pytest.raises(ValueError, match=LENGTH_MSG):
            analyze(f, p, g)
        with pytest.raises(ValueError, match="Empty data vectors"):
            monitor.performance_snapshot()
    elif expected == "undefined":
        with pytest.raises(ValueError, match=NO_FACET_MSG):
            analyze(f, p, g)
        with pytest.raises(TypeError, match="Metric cannot be computed with given data"):
            monitor.performance_snapshot()
    else:
        batch = analyze(f, p, g)
        same_values(batch, expected)
        same_values(monitor.performance_snapshot(), batch)
        for fi, pi, gi in rows:  # single pushes land on the same counts
            monitor.push(fi, pi, gi)
        monitor.push_batch(f, p, g)
        monitor.flush()
        for fi, pi, gi in rows:
            monitor.push(fi, pi, gi)
        same_values(monitor.performance_snapshot(), batch)


@settings(max_examples=200, deadline=None)
@given(samples)
def test_entropy_and_disparity_against_float64_textbook(rows):
    f, p, g = (np.array(x) for x in zip(*rows))
    if reference(cells(f, p, g)) in ("empty", "undefined"):
        return
    got = analyze(f, p, g)
    b = (p - g + 1).astype(np.float64)  # benefit: FN 0, TP/TN 1, FP 2
    ge = np.mean((b / b.mean()) ** 2 - 1) / 2
    assert got["GeneralizedEntropy"] == pytest.approx(ge, rel=1e-6, abs=1e-7)
    facet = f == 1
    dd = np.sum(facet & (p != 1)) / np.sum(p != 1) - np.sum(facet & (p == 1)) / np.sum(p == 1)
    assert got["ConditionalDemographicDesparityPredictedLabels"] == pytest.approx(dd, rel=1e-6, abs=1e-6)


def test_disparity_is_the_facet_share_of_negatives_minus_its_share_of_positives():
    # The facet holds 2 of the 3 predicted negatives and 2 of the 5 predicted positives.
    got = analyze([1, 1, 1, 0, 0, 0, 0, 1], [0, 0, 1, 1, 1, 0, 1, 1], [1, 0, 0, 1, 0, 1, 1, 1])
    assert got["ConditionalDemographicDesparityPredictedLabels"] == float(F(2) / F(3) - F(2) / F(5))
    # Benefits 0, 1, 1, 2, 1, 2, 0, 1 (FN, TN, TP ... ): mean 1, so GE = mean(b² − 1) / 2.
    assert got["GeneralizedEntropy"] == pytest.approx((12 / 8 - 1) / 2)


def test_batch_failures():
    a = np.array
    with pytest.raises(ValueError, match=LENGTH_MSG):
        analyze([], [], [])
    for lengths in ((3, 4, 4), (4, 3, 4), (4, 4, 3)):
        f, p, g = ([1, 0, 1, 0][:n] for n in lengths)
        with pytest.raises(ValueError, match=LENGTH_MSG):
            analyze(f, p, g)
    with pytest.raises(ValueError, match=LENGTH_MSG):  # no rest
        analyze([1, 1], [1, 0], [1, 0])
    with pytest.raises(ValueError, match=NO_FACET_MSG):  # no predicted positive
        analyze([1, 0, 1, 0], [0, 0, 0, 0], [1, 1, 0, 0])
    with pytest.raises(ValueError, match=NO_FACET_MSG):  # facet predicted all positive
        analyze(BASE_F, [1] * 5 + BASE_P[5:], BASE_G)
    # Arrays are checked feature, ground truth, prediction; labelled prediction first.
    with pytest.raises(TypeError, match="ground_truth_array"):
        t.py_model_bias_analyzer(a([1]), [1], [1], 1, 1, 1)
    with pytest.raises(TypeError, match="Data passed in is of hetergeneous types"):
        t.py_model_bias_analyzer(a([object()]), a([1.5, 2.5]), a([0.5, 1.5]), "x", 1.0, "1")


def test_explicit_segmentation_matches_labels():
    f = np.array([0.9, 0.8, 0.7, 0.95, 0.85, 0.1, 0.2, 0.3, 0.4, 0.15, 0.25])
    g = np.array(["y" if v else "n" for v in BASE_G], dtype=object)
    p = np.array([0.9 if v else 0.1 for v in BASE_P])
    got = t.py_model_bias_analyzer_explicit_seg(f, 0.5, None, "GreaterThan", g, None, "y", None,
                                                p, 0.5, None, "GreaterThanEqualTo")
    same_values(got, analyze(BASE_F, BASE_P, BASE_G))
    with pytest.raises(ValueError, match="Invalid bias configuration"):
        t.py_model_bias_analyzer_explicit_seg(f, 0.5, "a", "GreaterThan", g, None, "y", None, p, 0.5, None, "LessThan")
    with pytest.raises(TypeError, match="pred_segmentation_label"):
        t.py_model_bias_analyzer_explicit_seg(f, 0.5, None, "GreaterThan", g, None, "y", None, p, 0.5, 3, None)


# --- runtime checks -------------------------------------------------------------------------

def metric_dict(**changes):
    d = {m: 0.5 for m in METRICS}
    d["DisparateImpact"] = 1.0
    d.update(changes)
    return d


def test_runtime_check_rules():
    base = metric_dict(DifferenceInPositivePredictedLabels=-0.1, GeneralizedEntropy=0.2)
    assert t.py_model_bias_runtime_check(base, base) == {"passed": True}
    assert t.py_model_bias_runtime_check(base, base, 0.0) == {"passed": True}
    latest = metric_dict(DifferenceInPositivePredictedLabels=0.12, DisparateImpact=0.5,
                         GeneralizedEntropy=0.1, AccuracyDifference=-0.4)
    report = t.py_model_bias_runtime_check(base, latest)
    drift = {e["metric"]: e["drift"] for e in report["failed_report"]}
    # DisparateImpact falls from parity to 0.5: an adverse impact, so it fails.
    assert drift == {"DifferenceInPositivePredictedLabels": float(abs(abs(F(0.12)) - abs(F(-0.1)))),
                     "DisparateImpact": 0.5}
    up = t.py_model_bias_runtime_check(
        base, dict(base, DisparateImpact=1.2, GeneralizedEntropy=0.3), 0.1)
    assert {e["metric"]: e["drift"] for e in up["failed_report"]} == {
        "DisparateImpact": float(abs(F(1.2) - F(1.0))), "GeneralizedEntropy": float(abs(F(0.3) - F(0.2)))}
    # Distance from parity: 1.5 → 0.6 is closer to 1, so it passes.
    assert t.py_model_bias_runtime_check(metric_dict(DisparateImpact=1.5), metric_dict(DisparateImpact=0.6)) == {
        "passed": True}
    nan = t.py_model_bias_runtime_check(base, dict(base, TreatmentEquity=float("nan")), 0.0)
    assert nan == {"passed": True}
    partial = t.py_model_bias_partial_check(base, latest, ["DisparateImpact", "DisparateImpact"], 0.1)
    assert partial == {"passed": False, "failed_report": [{"metric": "DisparateImpact", "drift": 0.5}]}
    assert t.py_model_bias_partial_check(base, latest, []) == {"passed": True}


def test_runtime_check_errors():
    full = metric_dict()
    with pytest.raises(ValueError, match="^DifferenceInPositivePredictedLabels not present$"):
        t.py_model_bias_runtime_check(full, {})
    missing_two = {k: v for k, v in full.items() if k not in ("TreatmentEquity", "DifferenceInRejectionRate")}
    with pytest.raises(ValueError, match="^DifferenceInRejectionRate not present$"):
        t.py_model_bias_runtime_check(full, missing_two)
    no_ge = {k: v for k, v in full.items() if k != "GeneralizedEntropy"}
    no_te = {k: v for k, v in full.items() if k != "TreatmentEquity"}
    with pytest.raises(ValueError, match="^GeneralizedEntropy not present$"):  # latest examined first
        t.py_model_bias_runtime_check(no_te, no_ge)
    with pytest.raises(ValueError, match="^TreatmentEquity not present$"):
        t.py_model_bias_partial_check(no_te, full, [])
    assert t.py_model_bias_runtime_check(dict(full, Foo=1.0), full) == {"passed": True}
    with pytest.raises(ValueError, match=r'^Metrics: \["Foo", "disparateImpact"\] are not supported$'):
        t.py_model_bias_partial_check({}, {}, ["Foo", "DisparateImpact", "disparateImpact"])
    with pytest.raises(TypeError, match="argument 'metrics'"):
        t.py_model_bias_partial_check(full, full, "DisparateImpact")
    with pytest.raises(TypeError, match="argument 'threshold'"):
        t.py_model_bias_runtime_check(full, full, None)
    with pytest.raises(TypeError, match="argument 'latest'"):
        t.py_model_bias_runtime_check(full, {"DisparateImpact": "x"})


# --- streaming monitor ----------------------------------------------------------------------

def test_streaming_reproduces_its_baseline():
    m = t.PyModelBiasStreaming(BASE_F, BASE_P, BASE_G)
    with pytest.raises(ValueError, match="^Empty data vectors$"):
        m.drift_report(0.1)
    for sample in zip(BASE_F, BASE_P, BASE_G):
        m.push(*sample)
    baseline = analyze(BASE_F, BASE_P, BASE_G)
    same_values(m.performance_snapshot(), baseline)
    snapshot = m.drift_snapshot()
    for name, value in baseline.items():
        assert (math.isnan(snapshot[name]) if value == 0 else snapshot[name] == 0.0)
    assert m.drift_report(0.01) == {"passed": True}
    at_zero = {e["metric"] for e in m.drift_report(0.0)["failed_report"]}
    assert at_zero == {k for k, v in baseline.items() if v != 0}
    assert m.drift_report_partial_metrics([], 0.0) == {"passed": True}


def test_streaming_state_changes_and_failures():
    m = t.PyModelBiasStreaming(BASE_F, BASE_P, BASE_G)
    with pytest.raises(ValueError, match=r'^Metrics: \["Nope"\] are not supported$'):
        m.drift_report_partial_metrics(["Nope"], 0.1)  # before the empty counts are examined
    # Feature 2 is rest and prediction −1 negative: only 1 is a member.
    m.push_batch([2 if v == 0 else 1 for v in BASE_F], [-1 if v == 0 else 1 for v in BASE_P], BASE_G)
    before = m.performance_snapshot()
    same_values(before, analyze(BASE_F, BASE_P, BASE_G))
    bad = "^Bias Error: DataLengthError$"
    for args in (([], [], []), ([1], [1, 0], [1]), ([1, 0], [1], [1, 0]), ([1, 0], [1, 0], [1])):
        with pytest.raises(TypeError, match=bad):
            m.push_batch(*args)
        with pytest.raises(TypeError, match=bad):
            m.reset_baseline(*args)
        with pytest.raises(TypeError, match=bad):
            t.PyModelBiasStreaming(*args)
    with pytest.raises(TypeError, match="Can't extract `str` to `Vec`"):
        m.push_batch("101", [1, 0, 1], [1, 0, 1])
    with pytest.raises(OverflowError):
        m.push_batch([1, 0], [1, 300], [1, 0])
    with pytest.raises(OverflowError):
        m.push(1, 128, 0)
    with pytest.raises(ValueError, match="^Empty data vectors$"):  # baseline without rest
        m.reset_baseline([1, 1], [1, 0], [1, 0])
    with pytest.raises(TypeError, match="^Metric cannot be computed with given data$"):
        m.reset_baseline([1, 0, 1, 0], [0, 0, 0, 0], [1, 1, 0, 0])
    with pytest.raises(TypeError, match="drift_threshold"):
        m.drift_report(None)
    same_values(m.performance_snapshot(), before)  # failed calls changed nothing
    same_values(m.drift_snapshot(), {k: 0.0 if v != 0 else math.nan for k, v in before.items()})
    # A new baseline keeps the running counts.
    m.reset_baseline(BASE_F[::-1], BASE_P[::-1], BASE_G)
    same_values(m.performance_snapshot(), before)
    assert m.drift_report(0.0)["passed"] is False
    m.flush()
    with pytest.raises(ValueError, match="^Empty data vectors$"):
        m.performance_snapshot()
    with pytest.raises(ValueError, match="^Empty data vectors$"):
        t.PyModelBiasStreaming([1, 1], [1, 0], [1, 0])


def test_counts_beyond_float32_precision():
    # 2^24 + 2^23 true negatives in the rest: a 32-bit float counter would stop at 2^24.
    big = 2**24 + 2**23
    m = t.PyModelBiasStreaming(BASE_F, BASE_P, BASE_G)
    zeros = np.zeros(big, dtype=np.int8)
    m.push_batch(zeros, zeros, zeros)
    m.push_batch(BASE_F, BASE_P, BASE_G)
    c = cells(BASE_F, BASE_P, BASE_G)
    c[False][2] += big
    expected = reference(c)
    same_values(m.performance_snapshot(), expected)
    assert expected["DisparateImpact"] == pytest.approx((3 / 5) / (3 / (big + 6)), rel=1e-6)
    # 2^24 + 1 facet false positives, where float32 counting loses one.
    m.flush()
    ones = np.ones(2**24 + 1, dtype=np.int8)
    m.push_batch(ones, ones, np.zeros(2**24 + 1, dtype=np.int8))
    m.push_batch(BASE_F, BASE_P, BASE_G)
    c = cells(BASE_F, BASE_P, BASE_G)
    c[True][1] += 2**24 + 1
    same_values(m.performance_snapshot(), reference(c))
