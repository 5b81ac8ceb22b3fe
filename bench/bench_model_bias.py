"""Model bias speed: the batch analyzer against NumPy, and the streaming push rate
against a pure-Python monitor keeping the same counters."""
import os

os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")  # no idle BLAS threads spinning beside the timings

import numpy as np  # noqa: E402

import _tarvenn as t  # noqa: E402
from _common import best_of  # noqa: E402

N = 10_000_000
PUSHES = 300_000
F = np.float32


def numpy_model_bias(feature, truth, prediction):
    """The same labels, counts and twelve float32 metrics, vectorised."""
    cell = (feature >= 0.5).astype(np.int64) * 4 + (prediction == 1) * 2 + (truth == 1)
    c = np.bincount(cell, minlength=8)
    groups = {}
    for g, base in (("f", 4), ("r", 0)):
        tn, fn, fp, tp = (int(c[base + k]) for k in range(4))
        groups[g] = dict(tp=F(tp), fp=F(fp), tn=F(tn), fn=F(fn), n=F(tp + fp + tn + fn), y=F(tp + fn), p=F(tp + fp),
                         pi=tp + fp, ni=tp + fp + tn + fn)
    f, r = groups["f"], groups["r"]
    qf, qr = f["p"] / f["n"], r["p"] / r["n"]
    acc = lambda g: (g["tp"] + g["tn"]) / (g["tn"] + ((g["tp"] + g["fp"]) + g["fn"]))
    n = f["ni"] + r["ni"]
    ben1 = int(c[7] + c[3] + c[4] + c[0])
    ben2 = int(c[6] + c[2])
    s, tt = ben1 + 2 * ben2, ben1 + 4 * ben2
    predicted = f["pi"] + r["pi"]
    return {
        "DifferenceInPositivePredictedLabels": qf - qr,
        "DisparateImpact": qf / qr,
        "AccuracyDifference": acc(f) - acc(r),
        "RecallDifference": f["tp"] / (f["tp"] + f["fn"]) - r["tp"] / (r["tp"] + r["fn"]),
        "DifferenceInConditionalAcceptance": f["p"] / f["y"] - r["p"] / r["y"],
        "DifferenceInAcceptanceRate": f["tp"] / (f["tp"] + f["fp"]) - r["tp"] / (r["tp"] + r["fp"]),
        "SpecialityDifference": f["tn"] / (f["tn"] + f["fp"]) - r["tn"] / (r["tn"] + r["fp"]),
        "DifferenceInConditionalRejection": (r["n"] - r["y"]) / (r["n"] - r["p"]) - (f["n"] - f["y"]) / (f["n"] - f["p"]),
        "DifferenceInRejectionRate": r["tn"] / (r["tn"] + r["fn"]) - f["tn"] / (f["tn"] + f["fn"]),
        "TreatmentEquity": r["fn"] / r["fp"] - f["fn"] / f["fp"],
        "ConditionalDemographicDesparityPredictedLabels":
            F(f["ni"] - f["pi"]) / F(n - predicted) - f["p"] / F(predicted),
        "GeneralizedEntropy": F(((float(n) * float(tt)) / (float(s) * float(s)) - 1.0) / 2.0),
    }


class PythonMonitor:
    """Pure-Python counterpart of the monitor's push: per group the confusion counts,
    size, observed and predicted positives, and the three entropy buckets."""

    def __init__(self):
        self.facet_tp = self.facet_fp = self.facet_tn = self.facet_fn = 0
        self.rest_tp = self.rest_fp = self.rest_tn = self.rest_fn = 0
        self.facet_size = self.facet_observed = self.facet_predicted = 0
        self.rest_size = self.rest_observed = self.rest_predicted = 0
        self.c0 = self.c1 = self.c2 = 0

    def push(self, feature, pred, gt):
        p, o = pred == 1, gt == 1
        if feature == 1:
            self.facet_size += 1
            if o:
                self.facet_observed += 1
            if p:
                self.facet_predicted += 1
            if p and o:
                self.facet_tp += 1
            elif p:
                self.facet_fp += 1
            elif o:
                self.facet_fn += 1
            else:
                self.facet_tn += 1
        else:
            self.rest_size += 1
            if o:
                self.rest_observed += 1
            if p:
                self.rest_predicted += 1
            if p and o:
                self.rest_tp += 1
            elif p:
                self.rest_fp += 1
            elif o:
                self.rest_fn += 1
            else:
                self.rest_tn += 1
        if o and not p:
            self.c0 += 1
        elif p and not o:
            self.c2 += 1
        else:
            self.c1 += 1


class LeanPythonMonitor:
    """The smallest pure-Python form: confusion counts in lists, sizes derived."""

    def __init__(self):
        self.groups = {True: [0, 0, 0, 0], False: [0, 0, 0, 0]}
        self.buckets = [0, 0, 0]

    def push(self, feature, pred, gt):
        p, o = pred == 1, gt == 1
        self.groups[feature == 1][0 if p and o else 1 if p else 3 if o else 2] += 1
        self.buckets[0 if o and not p else 2 if p and not o else 1] += 1


def main():
    rng = np.random.default_rng(7)
    feature = rng.random(N)
    truth = rng.integers(0, 2, N, dtype=np.int64)
    prediction = np.where(rng.random(N) < 0.8, truth, 1 - truth)

    ours = t.py_model_bias_analyzer(feature, truth, prediction, 0.5, 1, 1)
    theirs = numpy_model_bias(feature, truth, prediction)
    assert all(ours[k] == float(v) for k, v in theirs.items()), "results differ"

    t_ours = best_of(lambda: t.py_model_bias_analyzer(feature, truth, prediction, 0.5, 1, 1))
    t_numpy = best_of(lambda: numpy_model_bias(feature, truth, prediction))
    t_sums = best_of(lambda: (feature.sum(), truth.sum(), prediction.sum()))
    print(f"py_model_bias_analyzer, {N:,} rows: {t_ours * 1e3:8.1f} ms")
    print(f"NumPy, same counts and metrics:     {t_numpy * 1e3:8.1f} ms  (analyzer {t_numpy / t_ours:.2f}x faster)")
    print(f"NumPy a.sum() over the three arrays: {t_sums * 1e3:8.1f} ms  (analyzer at {t_ours / t_sums:.2f}x of it)")

    samples = list(zip(rng.integers(0, 2, PUSHES).tolist(), rng.integers(0, 2, PUSHES).tolist(),
                       rng.integers(0, 2, PUSHES).tolist()))
    monitor = t.PyModelBiasStreaming([1, 1, 0, 0, 1, 0], [1, 0, 1, 0, 1, 1], [1, 0, 0, 1, 0, 0])
    python_monitor = PythonMonitor()

    def push_all(m):
        push = m.push
        for f, p, g in samples:
            push(f, p, g)

    rate_ours = PUSHES / best_of(lambda: push_all(monitor), 3)
    rate_python = PUSHES / best_of(lambda: push_all(python_monitor), 3)
    rate_lean = PUSHES / best_of(lambda: push_all(LeanPythonMonitor()), 3)
    print(f"PyModelBiasStreaming.push:  {rate_ours / 1e6:6.2f} M/s")
    print(f"pure-Python, same counters: {rate_python / 1e6:6.2f} M/s  (push {rate_ours / rate_python:.1f}x faster)")
    print(f"pure-Python, lean lists:    {rate_lean / 1e6:6.2f} M/s  (push {rate_ours / rate_lean:.1f}x faster)")


if __name__ == "__main__":
    main()
