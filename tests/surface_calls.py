"""One valid call of every function, constructor and method of the module, used by the
table-driven tests of the calling convention."""
import inspect

import numpy as np

import _tarvenn as t


def f64(values):
    return np.array(values, dtype=np.float64)


# every model bias metric is defined for this population (facet: feature 1)
FEATURE = np.array([1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0], dtype=np.int64)
PRED = np.array([1, 1, 0, 0, 1, 1, 0, 1, 0, 0, 1], dtype=np.int64)
TRUTH = np.array([1, 0, 1, 0, 1, 1, 0, 0, 1, 0, 1], dtype=np.int64)
Y_TRUE = f64([1.0, 0.0, 1.0, 0.0, 1.0])
Y_PRED = f64([1.0, 0.0, 0.0, 1.0, 1.0])
SCORES = f64([0.9, 0.2, 0.4, 0.7, 0.8])

DATA_BIAS = t.py_data_bias_analyzer(FEATURE, TRUTH, 1, 1)
MODEL_BIAS = t.py_model_bias_analyzer(FEATURE, TRUTH, PRED, 1, 1, 1)
CLASSIFICATION = t.py_model_perf_classification(Y_TRUE, Y_PRED)
LOGISTIC = t.py_model_perf_logistic_regression(Y_TRUE, SCORES, 0.5)
REGRESSION = t.py_model_perf_linear_regression(Y_TRUE, SCORES)

DRIFT = ["JensenShannon", "KullbackLeibler"]
BASE = f64(range(20))

# name -> a tuple of valid positional arguments
FUNCTIONS = {
    "py_data_bias_analyzer": lambda: (FEATURE, TRUTH, 1, 1),
    "py_data_bias_runtime_check": lambda: (DATA_BIAS, DATA_BIAS, 0.2),
    "py_data_bias_partial_check": lambda: (DATA_BIAS, DATA_BIAS, ["LpNorm"], 0.2),
    "py_data_bias_analyzer_explicit_seg":
        lambda: (FEATURE, 0.5, None, "GreaterThan", TRUTH, 0.5, None, "GreaterThan"),
    "py_model_bias_analyzer": lambda: (FEATURE, TRUTH, PRED, 1, 1, 1),
    "py_model_bias_runtime_check": lambda: (MODEL_BIAS, MODEL_BIAS, 0.2),
    "py_model_bias_partial_check": lambda: (MODEL_BIAS, MODEL_BIAS, ["DisparateImpact"], 0.2),
    "py_model_bias_analyzer_explicit_seg":
        lambda: (FEATURE, 0.5, None, "GreaterThan", TRUTH, 0.5, None, "GreaterThan", PRED, 0.5, None, "GreaterThan"),
    "py_model_perf_linear_regression": lambda: (Y_TRUE, SCORES),
    "py_model_perf_class_rt_full": lambda: (CLASSIFICATION, CLASSIFICATION, 0.2),
    "py_model_perf_class_rt_partial": lambda: (CLASSIFICATION, CLASSIFICATION, ["Accuracy"], 0.2),
    "py_model_perf_classification": lambda: (Y_TRUE, Y_PRED),
    "py_model_perf_log_reg_rt_partial": lambda: (LOGISTIC, LOGISTIC, ["LogLoss"], 0.2),
    "py_model_perf_logistic_regression": lambda: (Y_TRUE, SCORES, 0.5),
    "py_model_perf_lin_reg_rt_full": lambda: (REGRESSION, REGRESSION, 0.2),
    "py_model_perf_lin_reg_rt_partial": lambda: (REGRESSION, REGRESSION, ["RSquared"], 0.2),
    "py_model_perf_log_reg_rt_full": lambda: (LOGISTIC, LOGISTIC, 0.2),
    "py_compute_drift_categorical_distribtuion": lambda: (["a", "b", "b"], ["a", "c"], DRIFT),
    "py_compute_drift_continuous_distribtuion": lambda: (BASE, f64([1.5, 30.0]), DRIFT, "Scott"),
}

CONSTRUCTORS = {
    "PyCategoricalDataDrift": lambda: (["a", "b", "b"],),
    "PyContinuousDataDrift": lambda: (BASE, "Sturges"),
    "PyStreamingContinuousDataDriftFlush": lambda: (BASE, "Scott", 5, 100),
    "PyStreamingContinuousDataDriftDecay": lambda: (BASE, None, 3),
    "PyStreamingCategoricalDataDriftFlush": lambda: (["a", "b", "b"], 5, 100),
    "PyStreamingCategoricalDataDriftDecay": lambda: (["a", "b", "b"], 3),
    "PyDataBiasStreaming": lambda: ([1, 0, 1, 0], [1, 1, 0, 0]),
    "PyModelBiasStreaming": lambda: (list(FEATURE), list(PRED), list(TRUTH)),
    "PyBinaryClassificationStreaming": lambda: ([1, 0, 1, 0], [1, 0, 0, 1]),
    "PyLinearRegressionStreaming": lambda: ([1.0, 2.0, 3.0], [1.5, 2.0, 2.0]),
    "PyLogisticRegressionStreaming": lambda: ([1.0, 0.0, 1.0, 0.0], [0.8, 0.3, 0.4, 0.6], 0.5),
}

_CATEGORICAL = {
    "compute_drift": lambda: (["a", "c"], "JensenShannon"),
    "compute_drift_mutliple_criteria": lambda: (["a", "c"], DRIFT),
    "reset_baseline": lambda: (["x", "y"],),
    "export_baseline": lambda: (),
}
_CONTINUOUS = {
    "compute_drift": lambda: (f64([1.5, 30.0]), "JensenShannon"),
    "compute_drift_mutliple_criteria": lambda: (f64([1.5, 30.0]), DRIFT),
    "reset_baseline": lambda: (f64(range(50)),),
    "export_baseline": lambda: (),
}


def _streaming(sample, batch, baseline, flush):
    methods = {
        "compute_drift": lambda: ("JensenShannon",),
        "compute_drift_multiple_criteria": lambda: (DRIFT,),
        "reset_baseline": lambda: (baseline,),
        "update_stream_batch": lambda: (batch,),
        "update_stream": lambda: (sample,),
        "export_snapshot": lambda: (),
        "export_baseline": lambda: (),
    }
    if flush:
        methods["flush"] = lambda: ()
    return methods


def _monitor(push, batch, reset, metrics):
    return {
        "push": lambda: push,
        "push_batch": lambda: batch,
        "reset_baseline": lambda: reset,
        "flush": lambda: (),
        "drift_snapshot": lambda: (),
        "drift_report": lambda: (0.1,),
        "drift_report_partial_metrics": lambda: (metrics, 0.1),
        "performance_snapshot": lambda: (),
    }


# class name -> {method name -> valid positional arguments}; the method list is the
# whole public surface of the class.
METHODS = {
    "PyCategoricalDataDrift": _CATEGORICAL,
    "PyContinuousDataDrift": _CONTINUOUS,
    "PyStreamingContinuousDataDriftFlush": _streaming(2.5, f64([1.0, 40.0]), f64(range(50)), True),
    "PyStreamingContinuousDataDriftDecay": _streaming(2.5, f64([1.0, 40.0]), f64(range(50)), False),
    "PyStreamingCategoricalDataDriftFlush": _streaming("a", ["a", "z"], ["x", "y"], True),
    "PyStreamingCategoricalDataDriftDecay": _streaming("a", ["a", "z"], ["x", "y"], False),
    "PyDataBiasStreaming": _monitor((1, 0), ([1, 0, 0], [1, 1, 0]), ([1, 0, 1, 0], [0, 1, 1, 0]), ["LpNorm"]),
    "PyModelBiasStreaming": _monitor((1, 1, 0), (FEATURE, PRED, TRUTH), (FEATURE, PRED, TRUTH[::-1]),
                                     ["DisparateImpact"]),
    "PyBinaryClassificationStreaming": _monitor((1, 0), ([1, 0], [1, 1]), ([1, 0, 1], [1, 1, 0]), ["Accuracy"]),
    "PyLinearRegressionStreaming": _monitor((1.0, 2.0), ([1.0, 2.0], [1.5, 2.5]), ([1.0, 2.0], [2.0, 2.0]),
                                            ["RSquared"]),
    "PyLogisticRegressionStreaming": dict(
        _monitor((1.0, 0.9), ([1.0, 0.0], [0.7, 0.2]), ([1.0, 0.0], [0.6, 0.4]), ["LogLoss"]),
        reset_baseline_and_decision_threshold=lambda: ([1.0, 0.0], [0.6, 0.4], 0.3),
    ),
}


# State methods of every class (the dunder ones are not in the public list); merge
# takes a second object of the same class, _from_state a saved state.
for _cls, _methods in METHODS.items():
    _methods["_from_state"] = lambda cls=_cls: (instance(cls).__getstate__(),)
    if _cls not in ("PyCategoricalDataDrift", "PyContinuousDataDrift"):
        _methods["merge"] = lambda cls=_cls: (instance(cls),)


def instance(cls):
    """A fresh object of class `cls` holding some runtime data."""
    obj = getattr(t, cls)(*CONSTRUCTORS[cls]())
    methods = METHODS[cls]
    for fill in ("update_stream_batch", "push_batch"):
        if fill in methods:
            getattr(obj, fill)(*methods[fill]())
    return obj


def params(callable_obj):
    """(names, number required) from the text signature, `$self` dropped."""
    sig = callable_obj.__text_signature__.replace("$self, ", "").replace("$self", "")
    names, required = [], 0
    for part in filter(None, (p.strip() for p in sig.strip("()").split(","))):
        name, _, default = part.partition("=")
        names.append(name)
        required += not default
    return names, required


def all_callables():
    """(display name, factory of (callable, valid args)) for the 19 functions, the 11
    constructors and every method; a factory builds a fresh object each time."""
    out = []
    for name, args in FUNCTIONS.items():
        out.append((f"{name}()", lambda name=name, args=args: (getattr(t, name), args())))
    for cls, args in CONSTRUCTORS.items():
        out.append((f"{cls}.__new__()", lambda cls=cls, args=args: (getattr(t, cls), args())))
    for cls, methods in METHODS.items():
        for meth, args in methods.items():
            def make(cls=cls, meth=meth, args=args):
                return getattr(instance(cls), meth), args()
            out.append((f"{cls}.{meth}()", make))
    return out


def signature_of(display, fn):
    """The text signature source: the class for a constructor, else the callable."""
    if display.endswith(".__new__()"):
        return getattr(t, display.split(".")[0])
    return fn


def public_methods(cls):
    return sorted(name for name, value in vars(cls).items()
                  if not name.startswith("__") and inspect.ismethoddescriptor(value))
