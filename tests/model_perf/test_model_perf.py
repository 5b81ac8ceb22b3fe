"""Batch model performance functions and the runtime checks."""
import math
import os
import subprocess
import sys

import numpy as np
import pytest

import _tarvenn as t
from perf_helpers import (CLASS_KEYS, LOG_KEYS, REG_KEYS, assert_metrics, count_metrics, counts, f32,
                          log_loss_term, logistic_expected, regression_expected)

NUMERIC_DTYPES = [np.float64, np.float32, np.int8, np.int16, np.int32, np.int64,
                  np.uint8, np.uint16, np.uint32, np.uint64]


# --- classification -----------------------------------------------------------

@pytest.mark.parametrize("dtype", NUMERIC_DTYPES)
def test_classification_counts_exact_ones_only(dtype):
    y_true = np.array([1, 0, 1, 1, 2, 0, 1, 0], dtype=dtype)
    y_pred = np.array([1, 1, 0, 1, 2, 0, 2, 1], dtype=dtype)
    got = t.py_model_perf_classification(y_true, y_pred)
    expected = count_metrics(*counts(y_true == 1, y_pred == 1))
    assert_metrics(got, expected)


@pytest.mark.parametrize("dtype", NUMERIC_DTYPES)
def test_classification_positive_is_one_as_a_32_bit_float(dtype):
    # Integers are compared with 1 in their own type and floats through float32;
    # both must agree with reading every value as a 32-bit float, near 1 and at the
    # ends of each type's range, in and out of blocks, contiguous or strided.
    info = np.iinfo(dtype) if np.issubdtype(dtype, np.integer) else np.finfo(dtype)
    special = [1, 0, 2, info.max, info.min, 1, 1]
    if np.issubdtype(dtype, np.floating):
        special += [1 + 1e-9, 1 - 1e-9, np.nextafter(np.float32(1), 0), np.nextafter(np.float32(1), 2),
                    np.nan, -1.0, np.inf]
    elif np.iinfo(dtype).min < 0:
        special += [-1]
    rng = np.random.default_rng(4)
    n = 3 * 4096 + 5
    y_true = np.array(special, dtype=dtype)[rng.integers(0, len(special), n)]
    y_pred = np.array(special, dtype=dtype)[rng.integers(0, len(special), n)]
    with np.errstate(over="ignore"):
        as_f32 = [a.astype(np.float64).astype(np.float32) for a in (y_true, y_pred)]
    expected = count_metrics(*counts(as_f32[0] == 1, as_f32[1] == 1))
    assert_metrics(t.py_model_perf_classification(y_true, y_pred), expected)
    assert_metrics(t.py_model_perf_classification(np.repeat(y_true, 2)[::2], y_pred), expected)


def test_classification_degenerate_counts():
    empty = t.py_model_perf_classification(np.array([]), np.array([]))
    assert set(empty) == set(CLASS_KEYS) and all(math.isnan(v) for v in empty.values())
    # 2s are negatives: a perfect prediction of 2s has no positive class at all.
    twos = t.py_model_perf_classification(np.array([2, 0, 2]), np.array([2, 0, 2]))
    assert math.isnan(twos["PrecisionPositive"]) and math.isnan(twos["RecallPositive"])
    assert twos["Accuracy"] == 1.0
    # No true positives but errors both ways: 0 precision and recall, F1 = 0/0.
    none = t.py_model_perf_classification(np.array([1.0, 0.0]), np.array([0.0, 1.0]))
    assert none["PrecisionPositive"] == 0 and none["RecallPositive"] == 0 and math.isnan(none["F1Score"])
    negatives = t.py_model_perf_classification(np.zeros(3), np.zeros(3))
    assert negatives["RecallNegative"] == negatives["PrecisionNegative"] == negatives["Accuracy"] == 1.0
    assert math.isnan(negatives["BalancedAccuracy"]) and math.isnan(negatives["F1Score"])


def test_classification_counts_beyond_float32_range():
    # 2^24 + 2^20 positives: a 32-bit float count would stop at 2^24.
    n = 2**24 + 2**20
    y_true = np.ones(n, dtype=np.uint8)
    y_pred = np.ones(n, dtype=np.uint8)
    y_pred[:3 * 2**18] = 0
    y_true[-2**19:] = 0
    got = t.py_model_perf_classification(y_true, y_pred)
    tp = n - 3 * 2**18 - 2**19
    expected = count_metrics(tp, 2**19, 0, 3 * 2**18)
    assert_metrics(got, expected)
    assert got["RecallPositive"] == pytest.approx(tp / (tp + 3 * 2**18), rel=1e-6)


def test_classification_bad_input():
    with pytest.raises(TypeError, match=r"^argument 'y_true_src': "):
        t.py_model_perf_classification([1, 0], np.array([1, 0]))
    with pytest.raises(TypeError, match=r"^argument 'y_pred_src': "):
        t.py_model_perf_classification(np.array([1, 0]), [1, 0])
    with pytest.raises(TypeError, match=r"^UnSupportedType$"):
        t.py_model_perf_classification(np.array([True, False]), np.array([1, 0]))
    with pytest.raises(TypeError, match=r"^UnSupportedType$"):
        t.py_model_perf_classification(np.array([1, 0]), np.array([1, 0], dtype=np.float16))
    with pytest.raises(ValueError, match=r"^Data vectors must be equal length$"):
        t.py_model_perf_classification(np.array([1, 0, 1]), np.array([1, 0]))
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'y_pred_src'"):
        t.py_model_perf_classification(np.array([1]))


def test_classification_reads_strided_and_big_arrays():
    base = np.array([1, 9, 0, 9, 1, 9, 1, 9], dtype=np.int64)
    got = t.py_model_perf_classification(base[::2], np.array([1, 1, 0, 1.0]))
    assert_metrics(got, count_metrics(*counts([1, 0, 1, 1], [1, 1, 0, 1])))


# --- logistic regression ------------------------------------------------------

def test_logistic_regression_matches_scalar_reference():
    rng = np.random.default_rng(5)
    y_true = rng.choice([0.0, 1.0, 0.7, 0.2], size=200)
    y_pred = rng.random(200).astype(np.float32)
    y_pred[:5] = [0.0, 1.0, 0.5, 0.5, 1e-30]
    got = t.py_model_perf_logistic_regression(y_true, y_pred, 0.5)
    assert_metrics(got, logistic_expected(y_true, y_pred, 0.5))


def test_logistic_thresholds_ground_truth_and_uses_raw_value_in_log_loss():
    got = t.py_model_perf_logistic_regression(np.array([0.7]), np.array([0.9]), 0.5)
    assert got["RecallPositive"] == 1.0 and got["PrecisionPositive"] == 1.0
    term = f32(0.3) * 0 + log_loss_term(0.7, 0.9)
    assert got["LogLoss"] == float(-term)
    # A score equal to the threshold is positive.
    eq = t.py_model_perf_logistic_regression(np.array([1.0]), np.array([0.25]), 0.25)
    assert eq["RecallPositive"] == 1.0


def test_logistic_confident_predictions_stay_finite():
    # 1 − 1e-12 rounds to 1.0 in 32 bits; a score of exactly 1.0 is still clipped.
    right = t.py_model_perf_logistic_regression(np.array([1.0, 0.0]), np.array([1.0, 0.0]), 0.5)
    assert 0 < right["LogLoss"] < 1e-6
    wrong = t.py_model_perf_logistic_regression(np.array([0.0]), np.array([1.0]), 0.5)
    assert wrong["LogLoss"] == float(-log_loss_term(0.0, 1.0)) and math.isfinite(wrong["LogLoss"])


def test_logistic_failures():
    with pytest.raises(TypeError, match=r"^Metric cannot be computed with given data$"):
        t.py_model_perf_logistic_regression(np.array([]), np.array([]), 0.5)
    with pytest.raises(TypeError, match=r"^Metric cannot be computed with given data$"):
        t.py_model_perf_logistic_regression(np.array([1.0, 0.0]), np.array([np.nan, 0.2]), 0.5)
    with pytest.raises(ValueError, match=r"^Data vectors must be equal length$"):
        t.py_model_perf_logistic_regression(np.array([1.0]), np.array([0.1, 0.2]), 0.5)
    with pytest.raises(TypeError, match=r"^argument 'threshold': "):
        t.py_model_perf_logistic_regression(np.array([1.0]), np.array([0.1]), "0.5")
    # The arrays are checked before the threshold is converted.
    with pytest.raises(TypeError, match=r"^argument 'y_pred_src': "):
        t.py_model_perf_logistic_regression(np.array([1.0]), [0.1], "0.5")
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'threshold'"):
        t.py_model_perf_logistic_regression(np.array([1.0]), np.array([0.1]))


def test_log_loss_sums_in_64_bits_on_ten_million_pairs():
    n = 10_000_000
    rng = np.random.default_rng(11)
    y_true = (rng.random(n) < 0.4).astype(np.float32)
    y_pred = rng.random(n, dtype=np.float32)
    got = t.py_model_perf_logistic_regression(y_true, y_pred, 0.5)["LogLoss"]
    # The same clipped terms (one logarithm each, the other product is zero) summed in float64.
    p = np.clip(y_pred, f32(1e-12), np.nextafter(f32(1), f32(0)))
    with np.errstate(all="ignore"):
        terms = np.where(y_true == 1, np.log(p), np.log(f32(1) - p)).astype(np.float32)
    reference = f32(-terms.astype(np.float64).sum() / n)
    assert abs(np.float32(got) - reference) <= 4 * np.spacing(reference)
    # A 32-bit running sum of the same terms is visibly off.
    running32 = f32(-np.cumsum(terms, dtype=np.float32)[-1] / f32(n))
    assert abs(running32 - reference) > 100 * np.spacing(reference)


def _run_with_eps(eps, code):
    env = dict(os.environ, TARVENN_STABILITY_EPS=eps)
    out = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, check=True)
    return out.stdout.strip()


def test_logistic_clip_bounds_follow_the_stability_epsilon():
    code = ("import numpy as np, _tarvenn as t\n"
            "def ll(y, p):\n"
            "    try: return repr(t.py_model_perf_logistic_regression(np.array(y), np.array(p), 0.5)['LogLoss'])\n"
            "    except Exception as e: return type(e).__name__ + ':' + str(e)\n"
            "print(ll([0.0], [1.0]), ll([1.0], [0.0]), ll([], []))\n"
            "try:\n"
            "    m = t.PyLogisticRegressionStreaming([1.0], [0.9], 0.5); print('built')\n"
            "except Exception as e: print(type(e).__name__)\n")
    inverted = _run_with_eps("0.75", code).split("\n")
    assert inverted[0].split(" ")[0] == "TypeError:Metric"
    assert inverted[1] == "TypeError"
    wide = _run_with_eps("1e-3", code).split("\n")[0].split(" ")
    assert float(wide[0]) == float(-log_loss_term(0.0, 1.0, 1e-3))
    assert float(wide[1]) == float(-log_loss_term(1.0, 0.0, 1e-3))
    zero = _run_with_eps("0", code).split("\n")[0].split(" ")
    # ε = 0: the upper bound is the float below 1.0; a score of 0 has ln 0 = −inf.
    assert float(zero[0]) == float(-log_loss_term(0.0, 1.0, 0.0)) and math.isfinite(float(zero[0]))
    assert zero[1] == "inf"


# --- linear regression --------------------------------------------------------

@pytest.mark.parametrize("dtype", [np.float64, np.float32, np.int32, np.uint8])
def test_linear_regression_matches_reference(dtype):
    y_true = np.array([3, 1, 4, 1, 5, 9, 2, 6], dtype=dtype)
    y_pred = np.array([2, 1, 5, 2, 5, 7, 2, 8], dtype=dtype)
    assert_metrics(t.py_model_perf_linear_regression(y_true, y_pred), regression_expected(y_true, y_pred))


def test_linear_regression_random_floats_match_reference():
    rng = np.random.default_rng(3)
    y_true = rng.uniform(0.1, 10, 300)
    y_pred = np.abs(y_true + rng.normal(0, 0.5, 300))
    assert_metrics(t.py_model_perf_linear_regression(y_true, y_pred), regression_expected(y_true, y_pred))


def test_linear_regression_edge_values():
    data = np.array([0.5, 1.5, 2.5, 7.0])
    perfect = t.py_model_perf_linear_regression(data, data.copy())
    assert perfect["RSquared"] == 1.0
    assert all(perfect[k] == 0 for k in REG_KEYS if k != "RSquared")
    one = t.py_model_perf_linear_regression(np.array([2.0]), np.array([3.0]))
    assert one["RSquared"] == 0.0 and one["MaxError"] == 1.0
    zeros = t.py_model_perf_linear_regression(np.array([0.0, 1.0]), np.array([1.0, 1.0]))
    assert zeros["MeanAbsolutePercentageError"] == math.inf
    zero_pair = t.py_model_perf_linear_regression(np.array([0.0, 1.0]), np.array([0.0, 1.0]))
    assert math.isnan(zero_pair["MeanAbsolutePercentageError"])
    logs = t.py_model_perf_linear_regression(np.array([-1.0, 1.0]), np.array([0.0, 1.0]))
    assert logs["MeanSquaredLogError"] == math.inf and logs["RootMeanSquaredLogError"] == math.inf
    below = t.py_model_perf_linear_regression(np.array([-2.0, 1.0]), np.array([0.0, 1.0]))
    assert math.isnan(below["MeanSquaredLogError"])
    nan = t.py_model_perf_linear_regression(np.array([1.0, np.nan, 4.0]), np.array([1.5, 2.0, 1.0]))
    assert nan["MaxError"] == 3.0 and math.isnan(nan["MeanSquaredError"]) and math.isnan(nan["RSquared"])


def test_linear_regression_bad_input():
    with pytest.raises(ValueError, match=r"^Invalid types passed$"):
        t.py_model_perf_linear_regression(np.array([True]), np.array([1.0]))
    with pytest.raises(ValueError, match=r"^Invalid types passed$"):
        t.py_model_perf_linear_regression(np.array([1.0]), np.array(["a"]))
    with pytest.raises(TypeError, match=r"^argument 'y_true_src': "):
        t.py_model_perf_linear_regression([1.0], np.array([1.0]))
    with pytest.raises(ValueError, match=r"^Data vectors must be equal length$"):
        t.py_model_perf_linear_regression(np.arange(3.0), np.arange(4.0))
    with pytest.raises(ValueError, match=r"^Empty data vectors$"):
        t.py_model_perf_linear_regression(np.array([]), np.array([]))


# --- runtime checks -------------------------------------------------------------

def class_dict(**over):
    d = dict.fromkeys(CLASS_KEYS, 0.9)
    d.update(over)
    return d


def reg_dict(**over):
    d = dict.fromkeys(REG_KEYS, 1.0)
    d.update(over)
    return d


def test_runtime_checks_pass_on_identical_dicts():
    for fn, d in [(t.py_model_perf_class_rt_full, class_dict()),
                  (t.py_model_perf_log_reg_rt_full, class_dict(LogLoss=0.3)),
                  (t.py_model_perf_lin_reg_rt_full, reg_dict(RSquared=-0.5))]:
        for threshold in (0.0, 0.1, 2.0):
            assert fn(d, dict(d), threshold) == {"passed": True}


def test_classification_scales_latest_and_logistic_scales_baseline():
    latest = class_dict(Accuracy=0.81)
    report = t.py_model_perf_class_rt_full(class_dict(), latest)
    assert report["passed"] is False
    assert report["failed_report"] == [{"metric": "Accuracy", "drift": float(f32(0.9) - f32(0.81))}]
    assert t.py_model_perf_log_reg_rt_full(class_dict(LogLoss=1), class_dict(Accuracy=0.81, LogLoss=1)) == \
        {"passed": True}


def test_direction_of_each_metric():
    # LogLoss fails when it rises, never when it falls.
    up = t.py_model_perf_log_reg_rt_full(class_dict(LogLoss=0.5), class_dict(LogLoss=0.6))
    assert up["failed_report"] == [{"metric": "LogLoss", "drift": float(f32(0.6) - f32(0.5))}]
    assert t.py_model_perf_log_reg_rt_full(class_dict(LogLoss=0.5), class_dict(LogLoss=0.1))["passed"]
    # Regression: strict comparison, 1.1 equals (1 + t) × 1.0 in 32 bits.
    assert t.py_model_perf_lin_reg_rt_full(reg_dict(), reg_dict(MeanSquaredError=1.1))["passed"]
    failed = t.py_model_perf_lin_reg_rt_full(reg_dict(), reg_dict(MeanSquaredError=1.2))["failed_report"]
    assert failed == [{"metric": "MeanSquaredError", "drift": float(f32(1.2) - f32(1.0))}]
    assert t.py_model_perf_lin_reg_rt_full(reg_dict(RSquared=0.5), reg_dict(RSquared=0.9))["passed"]


def test_negative_r_squared_baseline():
    # An unchanged negative RSquared passes; one that falls by more than t·|B| fails.
    assert t.py_model_perf_lin_reg_rt_full(reg_dict(RSquared=-2.0), reg_dict(RSquared=-2.0))["passed"]
    assert t.py_model_perf_lin_reg_rt_full(reg_dict(RSquared=-2.0), reg_dict(RSquared=-2.1))["passed"]
    failed = t.py_model_perf_lin_reg_rt_full(reg_dict(RSquared=-2.0), reg_dict(RSquared=-2.3))
    assert failed["failed_report"] == [{"metric": "RSquared", "drift": float(f32(-2.0) - f32(-2.3))}]


def test_partial_checks_parse_and_filter():
    base, latest = class_dict(), class_dict(Accuracy=0.5, F1Score=0.5)
    assert t.py_model_perf_class_rt_partial(base, latest, [])["passed"]
    twice = t.py_model_perf_class_rt_partial(base, latest, ["Accuracy", "Accuracy"])
    assert [e["metric"] for e in twice["failed_report"]] == ["Accuracy"]
    with pytest.raises(ValueError, match=r'^Metrics: \["LogLoss"\] are not supported$'):
        t.py_model_perf_class_rt_partial(base, latest, ["Foo", "LogLoss", "Bar"])
    with pytest.raises(ValueError, match=r'^Metrics: \["Foo", "Bar"\] are not supported$'):
        t.py_model_perf_class_rt_partial(base, latest, ["Foo", "Bar"])
    with pytest.raises(ValueError, match=r'^Metrics: \["Foo"\] are not supported$'):
        t.py_model_perf_log_reg_rt_partial(class_dict(LogLoss=1), class_dict(LogLoss=1), ["LogLoss", "Foo"])
    with pytest.raises(ValueError, match=r'^Metrics: \["RSquare"\] are not supported$'):
        t.py_model_perf_lin_reg_rt_partial(reg_dict(), reg_dict(), ["RSquare", "MaxError"])
    rep = t.py_model_perf_lin_reg_rt_partial(reg_dict(), reg_dict(MaxError=3, MeanSquaredError=3), ["MaxError"],
                                             threshold=0.5)
    assert rep["failed_report"] == [{"metric": "MaxError", "drift": 2.0}]


def test_runtime_check_dict_errors():
    missing = class_dict()
    del missing["F1Score"]
    with pytest.raises(ValueError, match=r"^Invalid analysis report$"):
        t.py_model_perf_class_rt_full(missing, class_dict())
    with pytest.raises(ValueError, match=r"^Invalid analysis report$"):
        t.py_model_perf_class_rt_partial(class_dict(), missing, [])
    # LogLoss is required for logistic checks, extra keys are ignored elsewhere.
    with pytest.raises(ValueError, match=r"^Invalid analysis report$"):
        t.py_model_perf_log_reg_rt_full(class_dict(), class_dict())
    assert t.py_model_perf_class_rt_full(class_dict(LogLoss=3), class_dict(Extra=1))["passed"]
    with pytest.raises(TypeError, match=r"^argument 'threshold': "):
        t.py_model_perf_lin_reg_rt_full(reg_dict(), reg_dict(), None)
    with pytest.raises(TypeError, match=r"^argument 'latest': "):
        t.py_model_perf_lin_reg_rt_full(reg_dict(), [1])
    with pytest.raises(TypeError, match=r"^argument 'evaluation_metrics': "):
        t.py_model_perf_lin_reg_rt_partial(reg_dict(), reg_dict(), "MaxError")
    with pytest.raises(TypeError, match=r"takes from 2 to 3 positional arguments but 4 were given"):
        t.py_model_perf_class_rt_full(class_dict(), class_dict(), 0.1, 0.2)


def test_default_threshold_is_float32_tenth():
    base, latest = class_dict(Accuracy=1.0), class_dict(Accuracy=float(f32(1) / (f32(1) + f32(0.1))))
    assert t.py_model_perf_class_rt_full(base, latest) == t.py_model_perf_class_rt_full(base, latest, 0.1)


def test_signatures():
    assert t.py_model_perf_log_reg_rt_partial.__text_signature__ == \
        "(baseline, latest, evaluation_metrics, threshold=0.10)"
    assert t.py_model_perf_logistic_regression.__text_signature__ == "(y_true_src, y_pred_src, threshold)"
    assert t.py_model_perf_classification.__doc__ is None
