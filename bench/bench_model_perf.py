"""Speed of the model performance functions and monitors against NumPy, scikit-learn
(optional, from the [bench] extra) and pure Python. Prints figures; not a test.

    PYTHONPATH=build-dev python3 bench/bench_model_perf.py [n]
"""
import sys
import time

import numpy as np

import _tarvenn as t
from _common import best_of

try:
    from sklearn import metrics as skm
except ImportError:  # the [bench] extra is optional
    skm = None

N = int(sys.argv[1]) if len(sys.argv) > 1 else 10_000_000
REPEAT = 3


# --- NumPy equivalents (same quantities, vectorised) -------------------------------

def counts_metrics(a, p):
    tp = np.count_nonzero(a & p)
    fp = np.count_nonzero(~a & p)
    fn = np.count_nonzero(a & ~p)
    tn = a.size - tp - fp - fn
    tp, fp, tn, fn = map(np.float32, (tp, fp, tn, fn))
    with np.errstate(all="ignore"):
        rp, pp, rn, pn = tp / (tp + fn), tp / (tp + fp), tn / (fp + tn), tn / (tn + fn)
        return dict(BalancedAccuracy=(rn + rp) * 0.5, PrecisionPositive=pp, PrecisionNegative=pn,
                    RecallPositive=rp, RecallNegative=rn, Accuracy=(tp + tn) / (tp + fp + fn + tn),
                    F1Score=pp * (2 * rp) / (pp + rp))


def numpy_classification(y_true, y_pred):
    return counts_metrics(y_true == 1, y_pred == 1)


def numpy_logistic(y_true, y_pred, threshold):
    out = counts_metrics(y_true >= threshold, y_pred >= threshold)
    y = y_true.astype(np.float32)
    p = np.clip(y_pred.astype(np.float32), np.float32(1e-12), np.nextafter(np.float32(1), np.float32(0)))
    terms = (1 - y) * np.log(1 - p) + y * np.log(p)
    out["LogLoss"] = -terms.sum(dtype=np.float64) / y.size
    return out


def numpy_regression(y_true, y_pred):
    t64, p64 = y_true.astype(np.float32).astype(np.float64), y_pred.astype(np.float32).astype(np.float64)
    e = t64 - p64
    a = np.abs(e)
    n = t64.size
    mse = (e * e).sum() / n
    msle = ((np.log(t64 + 1) - np.log(p64 + 1)) ** 2).sum() / n
    ts, tsq = t64.sum(), (t64 * t64).sum()
    ss_tot = tsq - ts * ts / n
    ss_res = (p64 * p64).sum() + (tsq - 2 * (t64 * p64).sum())
    return dict(RootMeanSquaredError=np.sqrt(mse), MeanSquaredError=mse, MeanAbsoluteError=a.sum() / n,
                RSquared=1 - ss_res / ss_tot, MaxError=np.nanmax(a), MeanSquaredLogError=msle,
                RootMeanSquaredLogError=np.sqrt(msle), MeanAbsolutePercentageError=np.abs(a / t64).sum() / n)


# --- scikit-learn ---------------------------------------------------------------------

def sklearn_classification(y_true, y_pred):
    a, p = y_true == 1, y_pred == 1
    return [skm.balanced_accuracy_score(a, p), skm.precision_score(a, p), skm.precision_score(a, p, pos_label=0),
            skm.recall_score(a, p), skm.recall_score(a, p, pos_label=0), skm.accuracy_score(a, p),
            skm.f1_score(a, p)]


def sklearn_logistic(y_true, y_pred, threshold):
    out = sklearn_classification((y_true >= threshold).astype(np.int8), (y_pred >= threshold).astype(np.int8))
    return out + [skm.log_loss(y_true, y_pred, labels=[0, 1])]


def sklearn_regression(y_true, y_pred):
    return [skm.root_mean_squared_error(y_true, y_pred), skm.mean_squared_error(y_true, y_pred),
            skm.mean_absolute_error(y_true, y_pred), skm.r2_score(y_true, y_pred), skm.max_error(y_true, y_pred),
            skm.mean_squared_log_error(y_true, y_pred), skm.root_mean_squared_log_error(y_true, y_pred),
            skm.mean_absolute_percentage_error(y_true, y_pred)]


# --- pure-Python monitor with the same accumulators ---------------------------------------

class PyLogisticMonitor:
    def __init__(self, threshold):
        import math
        self.log = math.log
        self.threshold = threshold
        self.tp = self.fp = self.tn = self.fn = 0
        self.log_loss_sum = 0.0

    def push(self, y, s):
        c = min(max(s, 1e-12), 1 - 1e-7)
        self.log_loss_sum += (1 - y) * self.log(1 - c) + y * self.log(c)
        if y == 1.0:
            if s >= self.threshold: self.tp += 1
            else: self.fn += 1
        elif s >= self.threshold: self.fp += 1
        else: self.tn += 1


class PyRegressionMonitor:
    def __init__(self):
        import math
        self.log = math.log
        self.s = [0.0] * 10

    def push(self, t, p):
        s = self.s
        e = t - p
        a = abs(e)
        s[0] += e * e; s[1] += a; s[2] = max(s[2], a)
        s[3] += (self.log(t + 1) - self.log(p + 1)) ** 2
        s[4] += abs(a / t); s[5] += t; s[6] += 1.0; s[7] += t * t; s[8] += p * p; s[9] += t * p


class PyClassMonitor:
    def __init__(self):
        self.tp = self.fp = self.tn = self.fn = 0

    def push(self, y, p):
        if y == 1:
            if p == 1: self.tp += 1
            else: self.fn += 1
        elif p == 1: self.fp += 1
        else: self.tn += 1


def row(name, ours, *others):
    parts = [f"{name:<34} tarvenn {ours * 1e3:8.1f} ms"]
    for label, secs in others:
        if secs is not None:
            parts.append(f"{label} {secs * 1e3:8.1f} ms ({secs / ours:5.1f}x)")
    print("   ".join(parts))


def main():
    rng = np.random.default_rng(0)
    labels_true = (rng.random(N) < 0.4).astype(np.float64)
    labels_pred = np.where(rng.random(N) < 0.8, labels_true, 1 - labels_true)
    scores = rng.random(N)
    reg_true = rng.uniform(0.5, 10, N)
    reg_pred = np.abs(reg_true + rng.normal(0, 0.5, N))
    print(f"{N:,} pairs, float64 arrays, best of {REPEAT} (scikit-learn: one run); figures in parentheses: time / tarvenn time")

    def sums(*arrays):
        return best_of(lambda: [a.sum() for a in arrays], REPEAT)

    cases = [
        ("py_model_perf_classification", lambda: t.py_model_perf_classification(labels_true, labels_pred),
         lambda: numpy_classification(labels_true, labels_pred),
         (lambda: sklearn_classification(labels_true, labels_pred)) if skm else None, (labels_true, labels_pred)),
        ("py_model_perf_logistic_regression",
         lambda: t.py_model_perf_logistic_regression(labels_true, scores, 0.5),
         lambda: numpy_logistic(labels_true, scores, 0.5),
         (lambda: sklearn_logistic(labels_true, scores, 0.5)) if skm else None, (labels_true, scores)),
        ("py_model_perf_linear_regression", lambda: t.py_model_perf_linear_regression(reg_true, reg_pred),
         lambda: numpy_regression(reg_true, reg_pred),
         (lambda: sklearn_regression(reg_true, reg_pred)) if skm else None, (reg_true, reg_pred)),
    ]
    for name, ours, numpy_fn, sk_fn, arrays in cases:
        row(name, best_of(ours, REPEAT), ("numpy", best_of(numpy_fn, REPEAT)),
            ("sklearn", best_of(sk_fn, 1) if sk_fn else None), ("a.sum() x2", sums(*arrays)))

    pushes = 300_000
    ys = labels_true[:pushes].tolist()
    ss = scores[:pushes].tolist()
    ints = labels_true[:pushes].astype(int).tolist()
    intp = labels_pred[:pushes].astype(int).tolist()
    rt, rp = reg_true[:pushes].tolist(), reg_pred[:pushes].tolist()

    def rate(push, a, b):
        start = time.perf_counter()
        for x, y in zip(a, b):
            push(x, y)
        return pushes / (time.perf_counter() - start)

    print(f"push of one pair ({pushes:,} pushes), pairs per second:")
    for name, ours, theirs, a, b in [
        ("PyLogisticRegressionStreaming", t.PyLogisticRegressionStreaming([1.0], [0.9], 0.5).push,
         PyLogisticMonitor(0.5).push, ys, ss),
        ("PyLinearRegressionStreaming", t.PyLinearRegressionStreaming([1.0], [0.9]).push,
         PyRegressionMonitor().push, rt, rp),
        ("PyBinaryClassificationStreaming", t.PyBinaryClassificationStreaming([1], [1]).push,
         PyClassMonitor().push, ints, intp),
    ]:
        r_ours, r_theirs = rate(ours, a, b), rate(theirs, a, b)
        print(f"  {name:<34} {r_ours / 1e6:6.2f} M/s   pure Python {r_theirs / 1e6:6.2f} M/s   ({r_ours / r_theirs:4.1f}x)")

    m = t.PyLogisticRegressionStreaming([1.0], [0.9], 0.5)
    batch = best_of(lambda: m.push_batch(labels_true, scores), REPEAT)
    print(f"  PyLogisticRegressionStreaming.push_batch of {N:,}: {batch * 1e3:.1f} ms")

    # LogLoss: 64-bit running sum (what the library does) against a 32-bit one, same terms.
    y32 = labels_true.astype(np.float32)
    p = np.clip(scores.astype(np.float32), np.float32(1e-12), np.nextafter(np.float32(1), np.float32(0)))
    with np.errstate(all="ignore"):
        terms = np.where(y32 == 1, np.log(p), np.log(np.float32(1) - p)).astype(np.float32)
    exact = -terms.astype(np.float64).sum() / N
    ours = t.py_model_perf_logistic_regression(labels_true, scores, 0.5)["LogLoss"]
    running32 = float(-np.cumsum(terms, dtype=np.float32)[-1] / np.float32(N))
    print(f"LogLoss on {N:,} pairs: float64 reference {exact:.9f}, tarvenn {ours:.9f} "
          f"(rel. diff {abs(ours - exact) / exact:.2e}), 32-bit running sum {running32:.9f} "
          f"(rel. diff {abs(running32 - exact) / exact:.2e})")


if __name__ == "__main__":
    main()
