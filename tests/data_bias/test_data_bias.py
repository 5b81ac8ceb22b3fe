"""Data bias: the seven metrics, the runtime checks and the streaming monitor."""
import math

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import _tarvenn as t
from conftest import logf

f32 = np.float32
NAMES = ["ClassImbalance", "DifferenceInProportionOfLabels", "KlDivergence", "JsDivergence", "LpNorm",
         "TotalVariationDistance", "KolmogorovSmirnov"]


def expected_metrics(n_a, pos_a, n_d, pos_d):
    """The seven metrics recomputed with scalar float32 operations and logf."""
    with np.errstate(all="ignore"):
        return _expected_metrics(n_a, pos_a, n_d, pos_d)


def _expected_metrics(n_a, pos_a, n_d, pos_d):
    one, half = f32(1), f32(0.5)
    q_a, q_d = f32(pos_a) / f32(n_a), f32(pos_d) / f32(n_d)
    dpl = q_a - q_d
    kl = (one - q_a) * logf((one - q_a) / (one - q_d)) + q_a * logf(q_a / q_d)
    m = (q_a + q_d) * half
    js = half * (((one - q_a) * logf((one - q_a) / (one - m)) + q_a * logf(q_a / m))
                 + ((one - q_d) * logf((one - q_d) / (one - m)) + q_d * logf(q_d / m)))
    eps = (one - q_a) + (q_d + f32(-1))
    return {
        "ClassImbalance": f32(abs(n_a - n_d)) / f32(n_a + n_d),
        "DifferenceInProportionOfLabels": dpl,
        "KlDivergence": kl,
        "JsDivergence": js,
        "LpNorm": np.sqrt(eps * eps + dpl * dpl),
        "TotalVariationDistance": (abs(dpl) + abs(eps)) * half,
        "KolmogorovSmirnov": max(abs(eps), abs(dpl)),
    }


def same(a, b):
    return (math.isnan(a) and math.isnan(b)) or a == b


def assert_metrics(actual, expected):
    assert set(actual) == set(NAMES)
    for name in NAMES:
        assert same(actual[name], float(expected[name])), name


def columns(facet, truth):
    return np.array(facet, dtype=np.int64), np.array(truth, dtype=np.int64)


class TestAnalyzer:
    def test_balanced_population_has_no_bias(self):
        result = t.py_data_bias_analyzer(*columns([1, 1, 0, 0], [1, 0, 1, 0]), 1, 1)
        assert result == dict.fromkeys(NAMES, 0.0)

    def test_worked_example_with_nan_divergences(self):
        result = t.py_data_bias_analyzer(*columns([1, 0, 0, 0], [1, 1, 0, 0]), 1, 1)
        assert result["ClassImbalance"] == 0.5
        assert math.isnan(result["KlDivergence"]) and math.isnan(result["JsDivergence"])
        assert_metrics(result, expected_metrics(1, 1, 3, 1))

    @settings(max_examples=60, deadline=None)
    @given(st.lists(st.tuples(st.booleans(), st.booleans()), min_size=2, max_size=200))
    def test_matches_float32_recomputation(self, rows):
        facet = [int(a) for a, _ in rows]
        truth = [int(b) for _, b in rows]
        if 0 < sum(facet) < len(facet):
            n_a = sum(facet)
            pos_a = sum(b for a, b in zip(facet, truth) if a)
            pos_d = sum(truth) - pos_a
            feature = np.array(facet, dtype=np.uint8)  # D = 2: discrete
            result = t.py_data_bias_analyzer(feature, np.array(truth, dtype=np.bool_), 1, True)
            assert_metrics(result, expected_metrics(n_a, pos_a, len(facet) - n_a, pos_d))

    def test_population_errors(self):
        with pytest.raises(ValueError, match="^No deviation in behavior between facets$"):
            t.py_data_bias_analyzer(*columns([1, 1, 1], [1, 0, 1]), 1, 1)
        with pytest.raises(ValueError, match="^No deviation in behavior between facets$"):
            t.py_data_bias_analyzer(*columns([], []), 1, 1)

    def test_misaligned_columns_are_refused(self):
        with pytest.raises(ValueError, match="^All data arrays must have equal length and be at least lenght 1$"):
            t.py_data_bias_analyzer(*columns([1, 0, 0, 1, 0], [1, 0, 1]), 1, 1)

    def test_ground_truth_is_labelled_first(self):
        with pytest.raises(TypeError, match="^argument 'ground_truth_array'"):
            t.py_data_bias_analyzer(np.array([1]), [1], 1, 1)
        with pytest.raises(TypeError, match="^argument 'feature_array'"):
            t.py_data_bias_analyzer([1], [1], 1, 1)
        # Both labels are wrong; the ground truth's error (an object item) comes first.
        with pytest.raises(TypeError, match="string"):
            t.py_data_bias_analyzer(np.array([1.0]), np.array([None], dtype=object), "x", "y")

    def test_large_text_and_float_columns(self):
        rng = np.random.default_rng(1)
        feature = rng.normal(size=20_000)
        truth = rng.integers(0, 2, size=20_000)
        result = t.py_data_bias_analyzer(feature, truth, 0.5, 1)
        facet = feature >= 0.5
        assert_metrics(result, expected_metrics(int(facet.sum()), int(truth[facet].sum()), int((~facet).sum()),
                                                int(truth[~facet].sum())))

    @pytest.mark.parametrize("kind", ["GreaterThan", "GreaterThanEqualTo", "LessThan", "LessThanEqualTo"])
    def test_explicit_thresholds_read_every_dtype_as_its_float_value(self, kind):
        # Native arrays are compared in place, others converted item by item: both as
        # the value's 64-bit float, strided or byte-swapped alike.
        rng = np.random.default_rng(2)
        base = rng.integers(-3, 4, 5000)
        truth = rng.integers(0, 2, 5000)
        op = {"GreaterThan": np.greater, "GreaterThanEqualTo": np.greater_equal, "LessThan": np.less,
              "LessThanEqualTo": np.less_equal}[kind]
        facet = op(base.astype(np.float64), 0.5)
        expected = expected_metrics(int(facet.sum()), int(truth[facet].sum()), int((~facet).sum()),
                                    int(truth[~facet].sum()))
        forms = [base.astype(d) for d in (np.float64, np.float32, np.int8, np.int64, np.int32)]
        forms += [np.repeat(base, 2)[::2], base.astype(">f8"), base.astype(object)]
        for feature in forms:
            result = t.py_data_bias_analyzer_explicit_seg(feature, 0.5, None, kind, truth, 0.5, None, "GreaterThan")
            assert_metrics(result, expected)
        flags = base > 0  # bools compare as 0 and 1
        facet = op(flags.astype(np.float64), 0.5)
        result = t.py_data_bias_analyzer_explicit_seg(flags, 0.5, None, kind, truth, 0.5, None, "GreaterThan")
        assert_metrics(result, expected_metrics(int(facet.sum()), int(truth[facet].sum()), int((~facet).sum()),
                                                int(truth[~facet].sum())))


class TestRuntimeCheck:
    BASE = {"ClassImbalance": 0.1, "DifferenceInProportionOfLabels": 0.3, "KlDivergence": 0.1, "JsDivergence": 0.05,
            "LpNorm": 0.2, "TotalVariationDistance": 0.1, "KolmogorovSmirnov": 0.2}

    def test_equal_passes_and_default_threshold(self):
        assert t.py_data_bias_runtime_check(self.BASE, self.BASE) == {"passed": True}
        latest = {**self.BASE, "KlDivergence": 0.2}
        assert t.py_data_bias_runtime_check(self.BASE, latest) == t.py_data_bias_runtime_check(self.BASE, latest, 0.1)

    def test_rules(self):
        latest = {**self.BASE, "KlDivergence": 0.2, "ClassImbalance": 0.25, "DifferenceInProportionOfLabels": -0.4,
                  "LpNorm": 0.1, "JsDivergence": float("nan")}
        baseline = {**self.BASE, "ClassImbalance": -0.2}
        report = t.py_data_bias_runtime_check(baseline, latest, 0.1)
        assert report["passed"] is False
        drifts = {entry["metric"]: entry["drift"] for entry in report["failed_report"]}
        assert all(set(entry) == {"metric", "drift"} for entry in report["failed_report"])
        assert drifts == {
            "ClassImbalance": float(abs(abs(f32(0.25)) - abs(f32(-0.2)))),
            "DifferenceInProportionOfLabels": float(abs(f32(-0.4) - f32(0.3))),
            "KlDivergence": float(f32(0.2) - f32(0.1)),
        }

    def test_bound_is_not_a_failure(self):
        latest = {**self.BASE, "KlDivergence": float(f32(1.5) * f32(0.1))}
        assert t.py_data_bias_runtime_check(self.BASE, latest, 0.5)["passed"] is True

    def test_key_errors(self):
        with pytest.raises(ValueError, match=r'^Metrics: \["Foo"\] are not supported$'):
            t.py_data_bias_runtime_check({**self.BASE, "Foo": 1}, self.BASE)
        assert t.py_data_bias_partial_check({**self.BASE, "Foo": 1}, self.BASE, ["LpNorm"]) == {"passed": True}
        missing = dict(self.BASE)
        del missing["JsDivergence"], missing["LpNorm"]
        with pytest.raises(ValueError, match="^JsDivergence not present$"):
            t.py_data_bias_runtime_check(self.BASE, missing)

    def test_partial_check(self):
        latest = {**self.BASE, "KlDivergence": 0.5, "LpNorm": 0.5}
        report = t.py_data_bias_partial_check(self.BASE, latest, ["LpNorm", "LpNorm"], 0.1)
        assert [e["metric"] for e in report["failed_report"]] == ["LpNorm"]
        assert t.py_data_bias_partial_check(self.BASE, latest, []) == {"passed": True}
        with pytest.raises(ValueError, match=r'^Metrics: \["Foo", "lpnorm"\] are not supported$'):
            t.py_data_bias_partial_check(self.BASE, latest, ["LpNorm", "Foo", "lpnorm"])
        # Latest is looked up before baseline.
        with pytest.raises(ValueError, match="^LpNorm not present$"):
            t.py_data_bias_partial_check({"x": 1}, {k: v for k, v in self.BASE.items() if k != "LpNorm"}, [])


class TestStreaming:
    FEATURE = [1, 1, 0, 0, 0, 1]
    TRUTH = [1, 0, 1, 0, 0, 1]

    def test_pushing_the_baseline_reproduces_it(self):
        monitor = t.PyDataBiasStreaming(self.FEATURE, self.TRUTH)
        for f, g in zip(self.FEATURE, self.TRUTH):
            monitor.push(f, g)
        batch = t.py_data_bias_analyzer(np.array(self.FEATURE), np.array(self.TRUTH), 1, 1)
        assert monitor.performance_snapshot() == batch
        assert monitor.drift_snapshot() == dict.fromkeys(NAMES, 0.0)
        assert monitor.drift_report(0.0) == {"passed": False, "failed_report": [
            {"metric": name, "drift": 0.0} for name in NAMES]}
        assert monitor.drift_report(1e-9) == {"passed": True}

    def test_state_machine(self):
        monitor = t.PyDataBiasStreaming(self.FEATURE, self.TRUTH)
        with pytest.raises(ValueError, match="^Empty data vectors$"):
            monitor.performance_snapshot()
        monitor.push_batch([1, 1], [1, 1])
        with pytest.raises(TypeError, match="^Bias Error: DataLengthError$"):
            monitor.drift_report(0.1)
        monitor.push(2, 2)  # 2 is rest, and negative
        assert monitor.performance_snapshot()["DifferenceInProportionOfLabels"] == 1.0
        monitor.flush()
        with pytest.raises(ValueError, match="^Empty data vectors$"):
            monitor.drift_snapshot()

    def test_constructor_and_reset_errors_leave_state(self):
        with pytest.raises(TypeError, match="^Bias Error: NoFacetDeviation$"):
            t.PyDataBiasStreaming([1, 1], [1, 0])
        with pytest.raises(TypeError, match="^Bias Error: DataLengthError$"):
            t.PyDataBiasStreaming([], [])
        monitor = t.PyDataBiasStreaming(self.FEATURE, self.TRUTH)
        monitor.push_batch([1, 0, -1], [1, 0, 1])
        before = monitor.performance_snapshot()
        for bad in (([1, 0], [1]), ([1, 1], [0, 1])):
            with pytest.raises(TypeError):
                monitor.reset_baseline(*bad)
            with pytest.raises(TypeError):
                monitor.push_batch([1], [1, 1]) if bad[0] == [1, 0] else monitor.push_batch([], [])
        assert_metrics(monitor.performance_snapshot(), before)
        monitor.reset_baseline([1, 0], [1, 0])
        with pytest.raises(ValueError, match="^Empty data vectors$"):
            monitor.drift_report(0.1)

    def test_relative_change_and_partial_report(self):
        monitor = t.PyDataBiasStreaming([1, 1, 0, 0], [1, 0, 1, 0])  # every baseline metric 0
        monitor.push_batch([1, 0, 0], [1, 0, 0])
        changes = monitor.drift_snapshot()
        eps = f32(1e-12)
        current = monitor.performance_snapshot()
        for name in NAMES:
            if not math.isnan(current[name]):
                assert changes[name] == float(f32(abs(f32(current[name]))) / eps)
        report = monitor.drift_report_partial_metrics(["LpNorm"], 0.5)
        assert [e["metric"] for e in report["failed_report"]] == ["LpNorm"]
        assert monitor.drift_report_partial_metrics([], 0.5) == {"passed": True}
        with pytest.raises(ValueError, match=r'^Metrics: \["lpnorm"\] are not supported$'):
            monitor.drift_report_partial_metrics(["lpnorm"], 0.5)
        with pytest.raises(TypeError, match="^argument 'drift_threshold'"):
            monitor.drift_report(None)

    def test_batch_reads_numpy_buffers(self):
        monitor = t.PyDataBiasStreaming(np.array([1, 0], dtype=np.int8), np.array([1, 0], dtype=np.int8))
        n = 100_000
        rng = np.random.default_rng(0)
        f = rng.integers(0, 2, n).astype(np.int8)
        g = rng.integers(0, 2, n).astype(np.int8)
        monitor.push_batch(f, g)
        expected = t.py_data_bias_analyzer(f.astype(np.int64), g.astype(np.int64), 1, 1)
        assert monitor.performance_snapshot() == expected
