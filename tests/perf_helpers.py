"""Reference computations for the model performance tests, in scalar float32
arithmetic and with the C library's logf, so that expected values are exact."""
import ctypes
import ctypes.util
import math

import numpy as np

_libm = ctypes.CDLL(ctypes.util.find_library("m"))
_libm.logf.restype = ctypes.c_float
_libm.logf.argtypes = [ctypes.c_float]
_libm.powf.restype = ctypes.c_float
_libm.powf.argtypes = [ctypes.c_float, ctypes.c_float]

f32 = np.float32


def root_f32(key, mean):
    """How the stream roots a 32-bit mean: the C library's powf(mean, 0.5f) for the
    squared error (it can differ from sqrtf in the last bit), sqrtf for the log error."""
    return f32(_libm.powf(mean, 0.5)) if key == "RootMeanSquaredError" else np.sqrt(f32(mean))
CLASS_KEYS = ["BalancedAccuracy", "PrecisionPositive", "PrecisionNegative", "RecallPositive",
              "RecallNegative", "Accuracy", "F1Score"]
LOG_KEYS = CLASS_KEYS + ["LogLoss"]
REG_KEYS = ["RootMeanSquaredError", "MeanSquaredError", "MeanAbsoluteError", "RSquared", "MaxError",
            "MeanSquaredLogError", "RootMeanSquaredLogError", "MeanAbsolutePercentageError"]


def logf(x):
    return f32(_libm.logf(float(x)))


def count_metrics(tp, fp, tn, fn):
    """The seven count metrics; each count converted to float32 on its own."""
    tp, fp, tn, fn = f32(tp), f32(fp), f32(tn), f32(fn)
    with np.errstate(all="ignore"):
        rp = tp / (tp + fn)
        pp = tp / (tp + fp)
        rn = tn / (fp + tn)
        pn = tn / (tn + fn)
        return {
            "BalancedAccuracy": (rn + rp) * f32(0.5),
            "PrecisionPositive": pp,
            "PrecisionNegative": pn,
            "RecallPositive": rp,
            "RecallNegative": rn,
            "Accuracy": (tp + tn) / (((tp + fp) + fn) + tn),
            "F1Score": pp * (f32(2) * rp) / (pp + rp),
        }


def counts(actual, predicted):
    tp = sum(1 for a, p in zip(actual, predicted) if a and p)
    fn = sum(1 for a, p in zip(actual, predicted) if a and not p)
    fp = sum(1 for a, p in zip(actual, predicted) if not a and p)
    tn = sum(1 for a, p in zip(actual, predicted) if not a and not p)
    return tp, fp, tn, fn


def upper_clip(eps):
    u = f32(1) - f32(eps)
    return np.nextafter(f32(1), f32(0)) if u == f32(1) else u


def log_loss_term(y, p, eps=1e-12):
    y, p, e = f32(y), f32(p), f32(eps)
    u = upper_clip(e)
    if p < e:
        p = e
    elif p > u:
        p = u
    with np.errstate(all="ignore"):
        return (f32(1) - y) * logf(f32(1) - p) + y * logf(p)


def logistic_expected(y_true, y_pred, threshold, eps=1e-12):
    t = f32(threshold)
    out = count_metrics(*counts([f32(y) >= t for y in y_true], [f32(p) >= t for p in y_pred]))
    total = 0.0
    for y, p in zip(y_true, y_pred):
        total += float(log_loss_term(y, p, eps))
    out["LogLoss"] = f32(-total / len(y_true))
    return out


def regression_sums(y_true, y_pred):
    s = dict(se=0.0, ae=0.0, mx=0.0, sle=0.0, ape=0.0, ts=0.0, n=0.0, tsq=0.0, psq=0.0, tp=0.0)
    for t, p in zip(y_true, y_pred):
        t, p = float(f32(t)), float(f32(p))
        e = t - p
        a = abs(e)
        s["se"] += e * e
        s["ae"] += a
        s["mx"] = s["mx"] if math.isnan(a) else max(s["mx"], a)
        s["sle"] += (math.log(t + 1) - math.log(p + 1)) ** 2
        s["ape"] += abs(a / t) if t != 0 else (math.nan if a == 0 or math.isnan(a) else math.inf)
        s["ts"] += t
        s["n"] += 1.0
        s["tsq"] += t * t
        s["psq"] += p * p
        s["tp"] += t * p
    return s


def r_squared(s):
    ss_tot = s["tsq"] - (s["ts"] * s["ts"]) / s["n"]
    ss_res = s["psq"] + (s["tsq"] - 2.0 * s["tp"])
    if ss_tot != 0:
        return 1.0 - ss_res / ss_tot
    return 1.0 if ss_res == 0 else 0.0


def regression_expected(y_true, y_pred):
    """Batch derivation: 64-bit throughout, narrowed at the end."""
    s = regression_sums(y_true, y_pred)
    n = s["n"]
    mse, msle = s["se"] / n, s["sle"] / n
    return {
        "RootMeanSquaredError": f32(math.sqrt(mse)),
        "MeanSquaredError": f32(mse),
        "MeanAbsoluteError": f32(s["ae"] / n),
        "RSquared": f32(r_squared(s)),
        "MaxError": f32(s["mx"]),
        "MeanSquaredLogError": f32(msle),
        "RootMeanSquaredLogError": f32(math.sqrt(msle)),
        "MeanAbsolutePercentageError": f32(s["ape"] / n),
    }


def same(a, b):
    """Equal as float32 values, NaN equal to NaN."""
    a, b = f32(a), f32(b)
    return (np.isnan(a) and np.isnan(b)) or a == b


def assert_metrics(got, expected):
    assert set(got) == set(expected)
    bad = {k: (got[k], float(expected[k])) for k in expected if not same(got[k], expected[k])}
    assert not bad, bad
