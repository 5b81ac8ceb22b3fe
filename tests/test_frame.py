"""The module frame: registration, calling convention, docstrings, settings and
the conversion of arguments."""
import numpy as np
import pytest

import _tarvenn as t

FUNCTIONS = [
    ("py_data_bias_analyzer", "(feature_array, ground_truth_array, feature_label_or_threshold, ground_truth_label_or_threshold)"),
    ("py_data_bias_runtime_check", "(baseline, latest, threshold=0.10)"),
    ("py_data_bias_partial_check", "(baseline, latest, metrics, threshold=0.10)"),
    ("py_data_bias_analyzer_explicit_seg", "(feature_array, feat_segmentation_threshold, feat_segmentation_label, feat_threshold_type, ground_truth_array, gt_segmentation_threshold, gt_segmentation_label, gt_threshold_type)"),
    ("py_model_bias_analyzer", "(feature_array, ground_truth_array, prediction_array, feature_label_or_threshold, ground_truth_label_or_threshold, prediction_label_or_threshold)"),
    ("py_model_bias_runtime_check", "(baseline, latest, threshold=0.10)"),
    ("py_model_bias_partial_check", "(baseline, latest, metrics, threshold=0.10)"),
    ("py_model_bias_analyzer_explicit_seg", "(feature_array, feat_segmentation_threshold, feat_segmentation_label, feat_threshold_type, ground_truth_array, gt_segmentation_threshold, gt_segmentation_label, gt_threshold_type, prediction_array, pred_segmentation_threshold, pred_segmentation_label, pred_threshold_type)"),
    ("py_model_perf_linear_regression", "(y_true_src, y_pred_src)"),
    ("py_model_perf_class_rt_full", "(baseline, latest, threshold=0.10)"),
    ("py_model_perf_class_rt_partial", "(baseline, latest, evaluation_metrics, threshold=0.10)"),
    ("py_model_perf_classification", "(y_true_src, y_pred_src)"),
    ("py_model_perf_log_reg_rt_partial", "(baseline, latest, evaluation_metrics, threshold=0.10)"),
    ("py_model_perf_logistic_regression", "(y_true_src, y_pred_src, threshold)"),
    ("py_model_perf_lin_reg_rt_full", "(baseline, latest, threshold=0.10)"),
    ("py_model_perf_lin_reg_rt_partial", "(baseline, latest, evaluation_metrics, threshold=0.10)"),
    ("py_model_perf_log_reg_rt_full", "(baseline, latest, threshold=0.10)"),
    ("py_compute_drift_categorical_distribtuion", "(baseline, candidate, drift_metrics)"),
    ("py_compute_drift_continuous_distribtuion", "(baseline, candidate, drift_metrics, quantile_type)"),
]

CLASSES = [
    ("PyCategoricalDataDrift", "(baseline_data)"),
    ("PyContinuousDataDrift", "(baseline_data, quantile_type_str)"),
    ("PyStreamingContinuousDataDriftFlush", "(baseline_data, quantile_type_str, flush_rate_opt, flush_cadence_opt)"),
    ("PyStreamingContinuousDataDriftDecay", "(baseline_data, quantile_type_str, decay_opt)"),
    ("PyStreamingCategoricalDataDriftFlush", "(baseline_data, flush_rate, flush_cadence)"),
    ("PyStreamingCategoricalDataDriftDecay", "(baseline_data, half_life_opt)"),
    ("PyDataBiasStreaming", "(feature_data, gt_data)"),
    ("PyModelBiasStreaming", "(features, predictions, ground_truth)"),
    ("PyBinaryClassificationStreaming", "(y_true, y_pred)"),
    ("PyLinearRegressionStreaming", "(y_true, y_pred)"),
    ("PyLogisticRegressionStreaming", "(y_true, y_pred, threshold)"),
]

REGISTERED = [name for name in vars(t) if not name.startswith("__")]


def test_registration_order_and_surface():
    expected = [name for name, _ in FUNCTIONS] + [name for name, _ in CLASSES]
    assert REGISTERED == expected
    assert t.__doc__ == ""


@pytest.mark.parametrize("name,signature", FUNCTIONS + CLASSES)
def test_text_signatures(name, signature):
    obj = getattr(t, name)
    assert obj.__text_signature__ == signature
    if "DataDrift" in name:
        return  # the drift classes carry class docstrings, checked in test_drift.py
    expected_doc = "Method to perform data bias analysis" if name == "py_data_bias_analyzer" else None
    assert obj.__doc__ == expected_doc


def test_method_signatures_and_docs():
    cls = t.PyDataBiasStreaming
    assert cls.push.__text_signature__ == "($self, f, g)"
    assert cls.flush.__text_signature__ == "($self)"
    assert cls.drift_report_partial_metrics.__text_signature__ == "($self, metrics, drift_threshold)"
    assert cls.flush.__doc__ is None


class TestArgumentErrors:
    def check(self, fn, message, *args, **kwargs):
        with pytest.raises(TypeError) as info:
            fn(*args, **kwargs)
        assert str(info.value) == message

    def test_missing(self):
        f = t.py_data_bias_analyzer
        self.check(t.py_data_bias_runtime_check, "py_data_bias_runtime_check() missing 1 required positional argument: 'latest'", {})
        self.check(t.py_data_bias_runtime_check,
                   "py_data_bias_runtime_check() missing 2 required positional arguments: 'baseline' and 'latest'")
        self.check(f, "py_data_bias_analyzer() missing 3 required positional arguments: "
                      "'ground_truth_array', 'feature_label_or_threshold', and 'ground_truth_label_or_threshold'", 1)
        self.check(f, "py_data_bias_analyzer() missing 1 required positional argument: 'ground_truth_array'",
                   1, feature_label_or_threshold=1, ground_truth_label_or_threshold=1)

    def test_too_many(self):
        self.check(t.py_data_bias_analyzer, "py_data_bias_analyzer() takes 4 positional arguments but 5 were given", 1, 2, 3, 4, 5)
        self.check(t.py_data_bias_runtime_check,
                   "py_data_bias_runtime_check() takes from 2 to 3 positional arguments but 4 were given", 1, 2, 3, 4)
        monitor = t.PyDataBiasStreaming([1, 0], [1, 0])
        self.check(monitor.flush, "PyDataBiasStreaming.flush() takes 0 positional arguments but 1 was given", 1)
        self.check(monitor.drift_report, "PyDataBiasStreaming.drift_report() takes 1 positional arguments but 2 were given", 1, 2)

    def test_keywords(self):
        self.check(t.py_data_bias_runtime_check, "py_data_bias_runtime_check() got an unexpected keyword argument 'foo'", {}, {}, foo=1)
        self.check(t.py_data_bias_runtime_check, "py_data_bias_runtime_check() got multiple values for argument 'baseline'",
                   {}, {}, baseline={})
        self.check(t.PyDataBiasStreaming, "PyDataBiasStreaming.__new__() got an unexpected keyword argument 'x'", [1], [0], x=1)

    def test_constructor_paths(self):
        self.check(t.PyDataBiasStreaming,
                   "PyDataBiasStreaming.__new__() missing 2 required positional arguments: 'feature_data' and 'gt_data'")
        self.check(t.PyDataBiasStreaming.__new__,
                   "PyDataBiasStreaming.__new__() missing 2 required positional arguments: 'feature_data' and 'gt_data'",
                   t.PyDataBiasStreaming)

    def test_arity_checked_before_conversion(self):
        # The bad first argument is never converted: the surplus argument is reported.
        self.check(t.py_data_bias_runtime_check,
                   "py_data_bias_runtime_check() takes from 2 to 3 positional arguments but 4 were given", None, None, None, None)

    def test_keyword_calls_everywhere(self):
        report = t.py_data_bias_runtime_check(latest=METRICS, baseline=METRICS, threshold=0.5)
        assert report == {"passed": True}
        monitor = t.PyDataBiasStreaming(gt_data=[1, 0], feature_data=[1, 0])
        monitor.push(g=1, f=1)
        monitor.push_batch(f=[0], g=[0])
        assert set(monitor.performance_snapshot()) == set(METRICS)


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


def _rss_pages():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1])


@pytest.mark.skipif(not __import__("os").path.exists("/proc/self/statm"), reason="needs /proc")
def test_failing_calls_do_not_leak():
    feature = np.arange(1000, dtype=np.float64)
    bad_items = np.array(["a"] * 999 + [None], dtype=object)
    monitor = t.PyDataBiasStreaming([1, 0], [1, 0])

    def failing_calls():
        for call in (
            lambda: t.py_data_bias_analyzer(feature, bad_items, 1, 1),
            lambda: t.py_data_bias_analyzer(feature, feature, "x", 1.0),
            lambda: t.py_data_bias_runtime_check({"a": 1.0}, {}),
            lambda: t.py_data_bias_partial_check(METRICS, METRICS, ["Foo"] * 50),
            lambda: t.py_data_bias_analyzer(feature, [1], 1, 1),
            lambda: monitor.push_batch(list(range(100)) + [500], [0] * 101),
            lambda: t.PyDataBiasStreaming([1, 1], [1, 1]),
        ):
            try:
                call()
            except (TypeError, ValueError, OverflowError):
                pass

    for _ in range(200):
        failing_calls()
    before = _rss_pages()
    for _ in range(2000):
        failing_calls()
    grown_kib = (_rss_pages() - before) * 4
    assert grown_kib < 2048, f"RSS grew by {grown_kib} KiB"
