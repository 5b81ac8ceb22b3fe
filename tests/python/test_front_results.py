"""Result objects: immutable, lossless through JSON, and checks that say what they could not judge."""

import math

import numpy as np
import polars as pl
import pytest

import _tarvenn
import tarvenn

rng = np.random.default_rng(3)
DATA = pl.DataFrame(
    {"f": rng.integers(0, 2, 400), "y": rng.integers(0, 2, 400), "p": rng.integers(0, 2, 400), "s": rng.random(400)}
)


def bits(mapping):
    return {k: np.float64(v).tobytes() for k, v in mapping.items()}


def test_metric_result_is_an_immutable_mapping_in_module_order():
    r = tarvenn.data_bias(DATA, facet="f", label="y", facet_value=1)
    assert list(r) == list(tarvenn.METRICS["data_bias"])
    with pytest.raises(AttributeError):
        r.rows_used = 3
    with pytest.raises(TypeError):
        r["KlDivergence"] = 0.0
    assert not hasattr(r, "__dict__")
    text = repr(r)
    assert text.splitlines()[0] == "MetricResult(data_bias, rows_used=400, rows_dropped=0)"
    assert len(text.splitlines()) == 8 and "KolmogorovSmirnov" in text.splitlines()[-1]


def test_json_round_trips_every_float_bit_for_bit():
    values = {"RootMeanSquaredError": math.nan, "MeanSquaredError": math.inf, "MeanAbsoluteError": -math.inf,
              "RSquared": -0.0, "MaxError": 0.10000000149011612, "MeanSquaredLogError": 5e-324}
    r = tarvenn.MetricResult(values, family="regression", rows_used=10, rows_dropped=2)
    text = r.to_json()
    assert "NaN" in text and "Infinity" in text
    back = tarvenn.MetricResult.from_json(text)
    assert (back.family, back.rows_used, back.rows_dropped) == ("regression", 10, 2)
    assert bits(back) == bits(r) and list(back) == list(r)
    assert r.to_dict()["metrics"]["MaxError"] == 0.10000000149011612
    import json
    json.loads(text, parse_constant=lambda c: pytest.fail(f"non-standard JSON constant {c}"))
    for bad in ('{"type": "CheckResult", "version": 1}', '{"type": "MetricResult", "version": 2}', "[]",
                '{"type": "MetricResult", "version": 1, "family": "x", "metrics": {}, "rows_used": 1, "rows_dropped": 0}'):
        with pytest.raises(ValueError):
            tarvenn.MetricResult.from_json(bad)


def test_drift_result_round_trip_and_access():
    result = tarvenn.drift(DATA.select("s", "f"), DATA.select("f", "s"), measures=["KullbackLeibler", "JensenShannon"])
    assert result.columns == ["f", "s"] and [row.column for row in result] == ["f", "s"]
    assert result[0] is result["f"] and "s" in result and len(result) == 2
    assert list(result["s"].measures) == ["KullbackLeibler", "JensenShannon"]
    back = tarvenn.DriftResult.from_json(result.to_json())
    assert back == result
    with pytest.raises(KeyError, match="no drift row for column 'zz'"):
        result["zz"]
    assert "KullbackLeibler" in repr(result).splitlines()[1]


class TestCheck:
    def test_same_report_as_the_module_full_and_partial(self):
        base = tarvenn.model_bias(DATA, facet="f", label="y", prediction="p", facet_value=1)
        f, p = DATA["f"].to_numpy(), DATA["p"].to_numpy()
        later = DATA.with_columns(p=pl.Series(np.where((f == 1) & (np.arange(400) % 3 == 0), 1, p)))
        latest = tarvenn.model_bias(later, facet="f", label="y", prediction="p", facet_value=1)
        module = _tarvenn.py_model_bias_runtime_check(dict(base), dict(latest), 0.2)
        c = base.check(latest, threshold=0.2)
        assert c.passed is module["passed"] is False
        assert bits(c.failures) == bits({d["metric"]: d["drift"] for d in module["failed_report"]})
        assert c.threshold == 0.2 and c.family == "model_bias"
        partial = tarvenn.check(base, latest, metrics=["DisparateImpact"], threshold=0.2)
        module = _tarvenn.py_model_bias_partial_check(dict(base), dict(latest), ["DisparateImpact"], 0.2)
        assert list(partial.failures) == [d["metric"] for d in module.get("failed_report", [])]
        assert partial.metrics == ("DisparateImpact",)

    def test_plain_dicts_and_family_inference(self):
        y, s = DATA["y"].to_numpy(), DATA["s"].to_numpy()
        logistic = _tarvenn.py_model_perf_logistic_regression(y, s, 0.5)
        assert tarvenn.check(logistic, logistic).family == "logistic"
        classification = _tarvenn.py_model_perf_classification(y, DATA["p"].to_numpy())
        assert tarvenn.check(classification, classification).family == "classification"
        regression = _tarvenn.py_model_perf_linear_regression(s, s)
        assert tarvenn.check(regression, regression).family == "regression"
        with pytest.raises(ValueError, match=r"keys \['Foo'\] are no metric names"):
            tarvenn.check({"Foo": 1.0}, {"Foo": 1.0})
        with pytest.raises(ValueError, match="mix families"):
            tarvenn.check({"Accuracy": 1.0, "KlDivergence": 0.1}, {"Accuracy": 1.0})

    def test_nan_metrics_are_reported_as_undefined_not_passed_silently(self):
        base = dict(tarvenn.data_bias(DATA, facet="f", label="y", facet_value=1))
        latest = dict(base, KlDivergence=math.nan)
        c = tarvenn.check(base, latest)
        assert c.passed and c.undefined == ("KlDivergence",)
        assert "KlDivergence  undefined" in repr(c)
        assert tarvenn.check(base, latest, metrics=["JsDivergence"]).undefined == ()
        back = tarvenn.CheckResult.from_json(c.to_json())
        assert back.to_dict() == c.to_dict()

    def test_baseline_saved_as_json_is_checked_later(self):
        base = tarvenn.performance(DATA, label="y", prediction="s", task="logistic")
        saved = base.to_json()
        latest = tarvenn.performance(DATA, label="y", prediction="s", task="logistic", threshold=0.9)
        c = tarvenn.MetricResult.from_json(saved).check(latest)
        module = _tarvenn.py_model_perf_log_reg_rt_full(dict(base), dict(latest))
        assert c.passed == module["passed"] and list(c.failures) == [d["metric"] for d in module.get("failed_report", [])]

    def test_families_that_differ_are_refused(self):
        a = tarvenn.data_bias(DATA, facet="f", label="y", facet_value=1)
        b = tarvenn.performance(DATA, label="y", prediction="p", task="classification")
        with pytest.raises(ValueError, match="baseline is data_bias but latest is classification"):
            a.check(b)


def test_package_reexports_the_eleven_classes():
    names = [n for n in dir(_tarvenn) if n.startswith("Py")]
    assert len(names) == 11
    for n in names:
        assert getattr(tarvenn, n) is getattr(_tarvenn, n)
    from importlib.metadata import version
    assert tarvenn.__version__ == version("tarvenn")
