"""Error texts that every family shares: rejected metric-name lists."""
import numpy as np
import pytest

import _tarvenn as t
from surface_calls import CLASSIFICATION, DATA_BIAS, LOGISTIC, MODEL_BIAS, REGRESSION, instance

def escaped(name):
    out = []
    for ch in name:
        if ch in '"\\':
            out.append("\\" + ch)
        elif ch in "\n\t\r":
            out.append({"\n": "\\n", "\t": "\\t", "\r": "\\r"}[ch])
        elif ord(ch) < 0x20 or ord(ch) == 0x7F:
            out.append("\\u{%x}" % ord(ch))
        else:
            out.append(ch)
    return '"' + "".join(out) + '"'


def rejected(names):
    return "Metrics: [" + ", ".join(escaped(n) for n in names) + "] are not supported"


# Every entry that parses a metric-name list, with a valid name of its kind.
METRIC_LISTS = {
    "data bias check": (lambda m: t.py_data_bias_partial_check(DATA_BIAS, DATA_BIAS, m), "LpNorm"),
    "model bias check": (lambda m: t.py_model_bias_partial_check(MODEL_BIAS, MODEL_BIAS, m), "DisparateImpact"),
    "classification check": (lambda m: t.py_model_perf_class_rt_partial(CLASSIFICATION, CLASSIFICATION, m), "Accuracy"),
    "logistic check": (lambda m: t.py_model_perf_log_reg_rt_partial(LOGISTIC, LOGISTIC, m), "LogLoss"),
    "regression check": (lambda m: t.py_model_perf_lin_reg_rt_partial(REGRESSION, REGRESSION, m), "RSquared"),
    "data bias monitor": (lambda m: instance("PyDataBiasStreaming").drift_report_partial_metrics(m, 0.1), "LpNorm"),
    "model bias monitor": (lambda m: instance("PyModelBiasStreaming").drift_report_partial_metrics(m, 0.1),
                           "DisparateImpact"),
    "classification monitor": (lambda m: instance("PyBinaryClassificationStreaming")
                               .drift_report_partial_metrics(m, 0.1), "Accuracy"),
    "logistic monitor": (lambda m: instance("PyLogisticRegressionStreaming").drift_report_partial_metrics(m, 0.1),
                         "LogLoss"),
    "regression monitor": (lambda m: instance("PyLinearRegressionStreaming").drift_report_partial_metrics(m, 0.1),
                           "RSquared"),
}

AWKWARD_NAMES = [
    "a\nb", "tab\there", "cr\r", 'say "hi"', "back\\slash", "\x00", "\x01\x1f", "\x7f", "\x80\x9f", " ",
    "é", "\u2028", "日本", "\U0001F600", "", "accuracy",
]


@pytest.mark.parametrize("entry", sorted(METRIC_LISTS))
def test_rejected_metric_names_are_escaped_and_all_listed(entry):
    call, valid = METRIC_LISTS[entry]
    with pytest.raises(ValueError) as info:
        call([valid] + AWKWARD_NAMES + [valid, AWKWARD_NAMES[0]])
    assert str(info.value) == rejected(AWKWARD_NAMES + [AWKWARD_NAMES[0]])
    assert info.value.__cause__ is None and info.value.__context__ is None
    with pytest.raises(ValueError) as info:
        call([valid + " "])
    assert str(info.value) == rejected([valid + " "])


@pytest.mark.parametrize("entry", sorted(METRIC_LISTS))
def test_metric_names_must_be_a_sequence_of_str(entry):
    call, valid = METRIC_LISTS[entry]
    for bad in (valid, [valid, 1], None, [b"LpNorm"]):
        with pytest.raises(TypeError, match=r"^argument '(metrics|evaluation_metrics)': "):
            call(bad)
    assert call((valid,)) == call([valid]) == call(np.array([valid]))
