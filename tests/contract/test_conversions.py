"""The conversion of arguments (prefix and cause of conversion errors, sequence
kinds, user code run during conversion) and the process settings."""
import numpy as np
import pytest

import _tarvenn as t

METRICS = {"ClassImbalance": 0.1, "DifferenceInProportionOfLabels": 0.2, "KlDivergence": 0.3, "JsDivergence": 0.1,
           "LpNorm": 0.2, "TotalVariationDistance": 0.1, "KolmogorovSmirnov": 0.2}


class TestConversions:
    def test_prefix_and_cause(self):
        with pytest.raises(TypeError) as info:
            t.py_data_bias_analyzer([1, 0], np.array([1, 0]), 1, 1)
        assert str(info.value).startswith("argument 'feature_array': ")
        assert isinstance(info.value.__cause__, TypeError)
        with pytest.raises(TypeError, match=r"^argument 'metrics': Can't extract `str` to `Vec`$"):
            t.py_data_bias_partial_check(METRICS, METRICS, "KlDivergence")
        with pytest.raises(TypeError, match=r"^argument 'baseline': "):
            t.py_data_bias_runtime_check([("ClassImbalance", 1.0)], METRICS)
        with pytest.raises(TypeError, match=r"^argument 'latest': "):
            t.py_data_bias_runtime_check(METRICS, {1: 0.5})
        with pytest.raises(TypeError, match=r"^argument 'latest': "):
            t.py_data_bias_runtime_check(METRICS, {"LpNorm": "high"})
        with pytest.raises(TypeError, match=r"^argument 'threshold': "):
            t.py_data_bias_runtime_check(METRICS, METRICS, None)

    def test_non_type_errors_are_not_prefixed(self):
        monitor = t.PyDataBiasStreaming([1, 0], [1, 0])
        with pytest.raises(OverflowError) as info:
            monitor.push(128, 0)
        assert not str(info.value).startswith("argument")
        with pytest.raises(OverflowError):
            monitor.push_batch(np.array([1, 200], dtype=np.int64), np.array([0, 0]))
        with pytest.raises(OverflowError):
            monitor.push_batch(np.array([1, 2**63], dtype=np.uint64), np.array([0, 0]))
        with pytest.raises(TypeError, match="^argument 'g': "):
            monitor.push_batch([1, 0], [0, 0.5])

    def test_sequence_kinds(self):
        monitor = t.PyDataBiasStreaming((1, 0, True, False), np.array([1, 0, 1, 0], dtype=np.int8))
        monitor.push_batch(np.array([1, 0, 1, 0], dtype=np.int16)[::-1], range(4))
        monitor.push_batch(np.array([1, 0], dtype=np.uint8), [np.int64(1), 0])
        assert monitor.performance_snapshot()["ClassImbalance"] == 0.0

    def test_mutating_float_conversion_is_safe(self):
        values = {}

        class Sneaky:
            def __float__(self):
                values.clear()
                return 0.5

        values.update({name: Sneaky() for name in METRICS})
        report = t.py_data_bias_runtime_check(METRICS, values)
        assert len(report["failed_report"]) == 7  # every latest value read as 0.5

        items = []

        class Shrinker:
            def __index__(self):
                items.clear()
                return 1

        items.extend([Shrinker(), 0, 1, 0])
        with pytest.raises(Exception):
            t.PyDataBiasStreaming(items, [1, 0, 1, 0])

    def test_raising_float_conversion(self):
        class Broken:
            def __float__(self):
                raise RuntimeError("boom")

        with pytest.raises(RuntimeError, match="boom"):
            t.py_data_bias_runtime_check(METRICS, {**METRICS, "LpNorm": Broken()})


class TestSettings:
    CODE = "import _tarvenn as t, numpy as np; m = t.PyDataBiasStreaming([1, 0], [0, 0]); m.push(1, 1); m.push(0, 0); print(repr(m.drift_snapshot()['ClassImbalance']), repr(m.drift_snapshot()['DifferenceInProportionOfLabels']))"

    def eps_of(self, run_with_env, **env):
        # Baseline DifferenceInProportionOfLabels is 0 and the current one is 1, so
        # the relative change is 1 / float32(eps).
        return float(run_with_env(self.CODE, **env).split()[1])

    def test_stability_eps(self, run_with_env):
        default = 1 / float(np.float32(1e-12))
        assert self.eps_of(run_with_env) == pytest.approx(default)
        for text in ["", " 1e-9", "abc", "1e-9 ", "0x10", "1_0", "nan(1)"]:
            assert self.eps_of(run_with_env, TARVENN_STABILITY_EPS=text) == pytest.approx(default), text
        assert self.eps_of(run_with_env, TARVENN_STABILITY_EPS="1e-9") == pytest.approx(1 / float(np.float32(1e-9)))
        assert self.eps_of(run_with_env, TARVENN_STABILITY_EPS=".5") == 2.0
        assert self.eps_of(run_with_env, TARVENN_STABILITY_EPS="4.") == 0.25
        assert self.eps_of(run_with_env, TARVENN_STABILITY_EPS="+2E0") == 0.5
        # max(|0|, -1) is 0: division by zero gives infinity, used unchanged.
        assert self.eps_of(run_with_env, TARVENN_STABILITY_EPS="-1") == float("inf")
        assert self.eps_of(run_with_env, TARVENN_STABILITY_EPS="INFINITY") == 0.0

    def test_distribution_heuristic(self, run_with_env):
        code = "import _tarvenn as t, numpy as np; print(t.py_data_bias_analyzer(np.array([1, 2, 3, 4, 5]), np.array([1, 0, 1, 0, 1]), 3, 1)['ClassImbalance'])"
        # Continuous by default: 3, 4, 5 form the facet; discrete at 1.0: only 3 does.
        assert float(run_with_env(code)) == pytest.approx(0.2)
        assert float(run_with_env(code, TARVENN_DISTRIBUTION_HEURISTIC="1.0")) == pytest.approx(0.6)
        assert float(run_with_env(code, TARVENN_DISTRIBUTION_HEURISTIC="nan")) == pytest.approx(0.2)
