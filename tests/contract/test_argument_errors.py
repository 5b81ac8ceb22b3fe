"""The calling convention over the whole surface, driven by each callable's text
signature (argument counts, keywords, None), then literal examples of the
messages, written out by hand as an oracle of the formatting."""
import functools

import pytest

import _tarvenn as t
from surface_calls import METHODS, all_callables, params, signature_of

CALLABLES = all_callables()
IDS = [display for display, _ in CALLABLES]


def quoted(names):
    names = [f"'{n}'" for n in names]
    if len(names) <= 2:
        return " and ".join(names)
    return ", ".join(names[:-1]) + ", and " + names[-1]


def missing(display, names):
    word = "argument" if len(names) == 1 else "arguments"
    return f"{display} missing {len(names)} required positional {word}: {quoted(names)}"


def type_error(fn, *args, **kwargs):
    with pytest.raises(TypeError) as info:
        fn(*args, **kwargs)
    assert info.value.__cause__ is None
    return str(info.value)


@pytest.mark.parametrize("display,make", CALLABLES, ids=IDS)
def test_argument_error_forms(display, make):
    fn, valid = make()
    names, required = params(signature_of(display, fn))
    assert len(valid) == len(names)
    check_argument_errors(display, fn, names, required)
    if isinstance(fn, type):  # the explicit __new__ entry reports the same way
        check_argument_errors(display, functools.partial(fn.__new__, fn), names, required)


def check_argument_errors(display, fn, names, required):
    # too many positional arguments: the values are never looked at
    given = len(names) + 1
    verb = "was" if given == 1 else "were"
    takes = f"from {required} to {len(names)}" if required < len(names) else f"{len(names)}"
    assert type_error(fn, *([object()] * given)) == \
        f"{display} takes {takes} positional arguments but {given} {verb} given"

    # a keyword that names no parameter, checked before the (unconvertible) values
    assert type_error(fn, *([object()] * len(names)), no_such_parameter=1) == \
        f"{display} got an unexpected keyword argument 'no_such_parameter'"

    if not names:
        return
    # every required argument missing
    assert type_error(fn) == missing(display, names[:required])
    # all but the first given by keyword, out of order: only the first is missing
    if required >= 2:
        kwargs = {name: object() for name in reversed(names[1:])}
        assert type_error(fn, **kwargs) == missing(display, names[:1])
    # the last required one given by keyword: the others are missing, in order
    if required >= 2:
        assert type_error(fn, **{names[required - 1]: object()}) == missing(display, names[:required - 1])
    # the first parameter both by position and by keyword
    assert type_error(fn, *([object()] * len(names)), **{names[0]: object()}) == \
        f"{display} got multiple values for argument '{names[0]}'"
    # a surplus argument is reported even when a keyword is unknown as well
    assert "positional arguments but" in type_error(fn, *([object()] * given), no_such_parameter=1)


def probe(obj):
    """What a non-mutating look at an object shows (NaN-safe; errors included)."""
    seen = []
    for name in ("export_baseline", "export_snapshot", "performance_snapshot", "drift_snapshot",
                 "num_bins", "n_bins", "total_samples"):
        if not hasattr(obj, name):
            continue
        try:
            value = getattr(obj, name)
            value = value() if callable(value) else value
            seen.append(repr(sorted(value.items()) if isinstance(value, dict) else value))
        except ValueError as e:
            seen.append(str(e))
    return seen


def observe(result):
    """A comparable view of a call's result; a new object is given data and probed."""
    cls = type(result).__name__
    if cls not in METHODS:
        return repr(result)
    for fill in ("update_stream_batch", "push_batch"):
        if fill in METHODS[cls]:
            getattr(result, fill)(*METHODS[cls][fill]())
    return probe(result)


def fresh_name(name):
    # a keyword string that is equal to the parameter name but not the same object
    return "".join(list(name)) if len(name) > 1 else name


@pytest.mark.parametrize("display,make", CALLABLES, ids=IDS)
def test_keyword_calls_equal_positional_calls(display, make):
    fn_pos, args = make()
    fn_kw, _ = make()
    names, _ = params(signature_of(display, fn_pos))
    by_position = observe(fn_pos(*args))
    assert observe(fn_kw(**{fresh_name(n): v for n, v in reversed(list(zip(names, args)))})) == by_position
    if len(names) >= 2:  # mixed: the first by position, the rest by keyword
        fn_mixed, _ = make()
        assert observe(fn_mixed(args[0], **dict(zip(names[1:], args[1:])))) == by_position
    if hasattr(fn_pos, "__self__") and not isinstance(fn_pos.__self__, type):  # a method: same state after
        assert probe(fn_kw.__self__) == probe(fn_pos.__self__)


# Parameters that take None, and what None does where it is refused without the
# argument prefix (it reaches segmentation, which judges it).
NONE_ACCEPTED = {"quantile_type", "quantile_type_str", "flush_rate_opt", "flush_cadence_opt", "decay_opt",
                 "half_life_opt", "flush_rate", "flush_cadence", "feat_segmentation_label", "gt_segmentation_label",
                 "pred_segmentation_label"}
NONE_JUDGED = {
    "feature_label_or_threshold": (TypeError, "Data passed in is of hetergeneous types"),
    "ground_truth_label_or_threshold": (TypeError, "Data passed in is of hetergeneous types"),
    "prediction_label_or_threshold": (TypeError, "Data passed in is of hetergeneous types"),
    **{f"{p}_{k}": (ValueError, "Invalid bias configuration")
       for p in ("feat", "gt", "pred") for k in ("segmentation_threshold", "threshold_type")},
}


@pytest.mark.parametrize("display,make", [c for c in CALLABLES if params(signature_of(c[0], c[1]()[0]))[0]],
                         ids=[d for d, m in CALLABLES if params(signature_of(d, m()[0]))[0]])
def test_none_is_refused_where_not_accepted(display, make):
    fn, args = make()
    names, _ = params(signature_of(display, fn))
    for i, name in enumerate(names):
        fn, args = make()
        before = probe(fn.__self__) if hasattr(fn, "__self__") and not isinstance(fn.__self__, type) else None
        call_args = list(args)
        call_args[i] = None
        if name in NONE_ACCEPTED:
            fn(*call_args)
            continue
        kind, text = NONE_JUDGED.get(name, (TypeError, None))
        with pytest.raises(kind) as info:
            fn(*call_args)
        if text is None:
            assert str(info.value).startswith(f"argument '{name}': "), (name, str(info.value))
            assert isinstance(info.value.__cause__, TypeError)
        else:
            assert str(info.value) == text
        if before is not None:
            assert probe(fn.__self__) == before, name


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
