"""The entries users call: prepare the inputs, call `_tarvenn`, wrap its numbers in result objects.

No metric, segmentation rule or drift measure is computed here; every number is the module's.
"""

from __future__ import annotations

import math
from collections.abc import Callable, Mapping, Sequence
from typing import TYPE_CHECKING, Any, Literal

import numpy as np

import _tarvenn

from ._rules import Rule, Value
from .inputs import PreparedRows, open_table, prepare_drift_column, prepare_rows
from .results import FAMILIES, CheckResult, DriftResult, DriftRow, Family, MetricResult

if TYPE_CHECKING:
    from _tarvenn import RuntimeReport

__all__ = ["data_bias", "model_bias", "performance", "drift", "check", "METRICS", "DRIFT_MEASURES"]

# The metric names of each family, in the module's order; `check` infers a plain dict's family
# from them.
METRICS: Mapping[Family, tuple[str, ...]] = {
    "data_bias": (
        "ClassImbalance",
        "DifferenceInProportionOfLabels",
        "KlDivergence",
        "JsDivergence",
        "LpNorm",
        "TotalVariationDistance",
        "KolmogorovSmirnov",
    ),
    "model_bias": (
        "DifferenceInPositivePredictedLabels",
        "DisparateImpact",
        "AccuracyDifference",
        "RecallDifference",
        "DifferenceInConditionalAcceptance",
        "DifferenceInAcceptanceRate",
        "SpecialityDifference",
        "DifferenceInConditionalRejection",
        "DifferenceInRejectionRate",
        "TreatmentEquity",
        "ConditionalDemographicDesparityPredictedLabels",
        "GeneralizedEntropy",
    ),
    "classification": (
        "BalancedAccuracy",
        "PrecisionPositive",
        "PrecisionNegative",
        "RecallPositive",
        "RecallNegative",
        "Accuracy",
        "F1Score",
    ),
    "logistic": (
        "BalancedAccuracy",
        "PrecisionPositive",
        "PrecisionNegative",
        "RecallPositive",
        "RecallNegative",
        "Accuracy",
        "F1Score",
        "LogLoss",
    ),
    "regression": (
        "RootMeanSquaredError",
        "MeanSquaredError",
        "MeanAbsoluteError",
        "RSquared",
        "MaxError",
        "MeanSquaredLogError",
        "RootMeanSquaredLogError",
        "MeanAbsolutePercentageError",
    ),
}

DRIFT_MEASURES: tuple[str, ...] = (
    "JensenShannon",
    "PopulationStabilityIndex",
    "WassersteinDistance",
    "KullbackLeibler",
)

Task = Literal["classification", "logistic", "regression"]

_FULL_CHECK: Mapping[Family, Callable[..., RuntimeReport]] = {
    "data_bias": _tarvenn.py_data_bias_runtime_check,
    "model_bias": _tarvenn.py_model_bias_runtime_check,
    "classification": _tarvenn.py_model_perf_class_rt_full,
    "logistic": _tarvenn.py_model_perf_log_reg_rt_full,
    "regression": _tarvenn.py_model_perf_lin_reg_rt_full,
}
_PARTIAL_CHECK: Mapping[Family, Callable[..., RuntimeReport]] = {
    "data_bias": _tarvenn.py_data_bias_partial_check,
    "model_bias": _tarvenn.py_model_bias_partial_check,
    "classification": _tarvenn.py_model_perf_class_rt_partial,
    "logistic": _tarvenn.py_model_perf_log_reg_rt_partial,
    "regression": _tarvenn.py_model_perf_lin_reg_rt_partial,
}


# ---------------------------------------------------------------------------------------------
# Bias


def _segmentation(
    prepared: PreparedRows, pairs: Sequence[tuple[str, str, Value]]
) -> tuple[list[Any], bool]:
    """The module's arguments for each (parameter, column, value): the plain value, or the
    (threshold, label, threshold type) triple of a rule. The second item says which form."""
    explicit = any(isinstance(value, Rule) for _, _, value in pairs)
    args: list[Any] = []
    for parameter, column, value in pairs:
        if not explicit:
            args.append(value)
            continue
        rule = value
        if isinstance(value, str) and not isinstance(value, Rule):
            rule = Rule("EqualTo", value)
        if not isinstance(rule, Rule):
            ruled = next(p for p, _, v in pairs if isinstance(v, Rule))
            raise TypeError(
                f"{parameter}={value!r} cannot be combined with a rule for {ruled}: the module's "
                f"explicit segmentation takes a rule for every column, so give {parameter} one too "
                f"(for example tarvenn.equal_to(...) for text, tarvenn.at_least({value!r}) for numbers)"
            )
        kind = prepared.kinds[column]
        if rule.numeric and kind == "text":
            raise TypeError(f"{parameter}={rule!r} compares numbers, but column {column!r} holds text")
        if not rule.numeric and kind != "text":
            raise TypeError(
                f"{parameter}={rule!r} compares text, but column {column!r} is {kind}; "
                "use greater_than, at_least, less_than or at_most"
            )
        args.append(rule.explicit_arguments())
    return args, explicit


def _check_value(parameter: str, value: object) -> None:
    if not isinstance(value, (Rule, str, int, float, np.generic)):
        raise TypeError(f"{parameter} must be a value or a tarvenn rule, got {type(value).__name__}")


def data_bias(
    data: Any,
    *,
    facet: str,
    label: str,
    facet_value: Value,
    label_value: Value = 1,
) -> MetricResult:
    """The seven pre-training data bias metrics of the facet `facet == facet_value` (or the rows
    that pass a rule) against the rest, for the positive outcome `label == label_value`.

    A plain value follows the module's label-or-threshold rule; a rule (`greater_than`, `at_least`,
    `less_than`, `at_most`, `equal_to`) goes through the module's explicit segmentation. Rows where
    the facet or the label is missing are dropped and counted in `rows_dropped`.
    """
    _check_value("facet_value", facet_value)
    _check_value("label_value", label_value)
    prepared = prepare_rows(data, [facet, label])
    (f, g), explicit = _segmentation(
        prepared, [("facet_value", facet, facet_value), ("label_value", label, label_value)]
    )
    feature, truth = prepared.arrays[facet], prepared.arrays[label]
    if explicit:
        values = _tarvenn.py_data_bias_analyzer_explicit_seg(feature, f[0], f[1], f[2], truth, g[0], g[1], g[2])
    else:
        values = _tarvenn.py_data_bias_analyzer(feature, truth, f, g)
    return MetricResult(values, family="data_bias", rows_used=prepared.rows_used, rows_dropped=prepared.rows_dropped)


def model_bias(
    data: Any,
    *,
    facet: str,
    label: str,
    prediction: str,
    facet_value: Value,
    label_value: Value = 1,
    prediction_value: Value = 1,
) -> MetricResult:
    """The twelve post-training model bias metrics of the facet against the rest, comparing the
    predictions `prediction == prediction_value` with the outcomes `label == label_value`.

    Values and rules are read as in `data_bias`; rows where any of the three columns is missing
    are dropped.
    """
    for name, value in (("facet_value", facet_value), ("label_value", label_value), ("prediction_value", prediction_value)):
        _check_value(name, value)
    prepared = prepare_rows(data, [facet, label, prediction])
    (f, g, p), explicit = _segmentation(
        prepared,
        [
            ("facet_value", facet, facet_value),
            ("label_value", label, label_value),
            ("prediction_value", prediction, prediction_value),
        ],
    )
    feature, truth, pred = prepared.arrays[facet], prepared.arrays[label], prepared.arrays[prediction]
    if explicit:
        values = _tarvenn.py_model_bias_analyzer_explicit_seg(
            feature, f[0], f[1], f[2], truth, g[0], g[1], g[2], pred, p[0], p[1], p[2]
        )
    else:
        values = _tarvenn.py_model_bias_analyzer(feature, truth, pred, f, g, p)
    return MetricResult(values, family="model_bias", rows_used=prepared.rows_used, rows_dropped=prepared.rows_dropped)


# ---------------------------------------------------------------------------------------------
# Performance


def _numeric(prepared: PreparedRows, column: str, parameter: str) -> np.ndarray[Any, Any]:
    kind = prepared.kinds[column]
    arr = prepared.arrays[column]
    if kind == "text":
        raise TypeError(f"{parameter} column {column!r} holds text; performance needs numbers")
    if kind == "boolean":
        # The module reads numbers only; a boolean column means 0 and 1, read without a copy.
        return arr.view(np.uint8)
    return arr


def performance(
    data: Any,
    *,
    label: str,
    prediction: str,
    task: Task,
    threshold: float = 0.5,
) -> MetricResult:
    """Model performance of `prediction` against `label`.

    `task` is "classification" (binary labels and predictions), "logistic" (binary labels and
    scores; `threshold` is the decision threshold) or "regression". Rows where the label or the
    prediction is missing are dropped.
    """
    if task not in ("classification", "logistic", "regression"):
        raise ValueError(f"task must be 'classification', 'logistic' or 'regression', got {task!r}")
    prepared = prepare_rows(data, [label, prediction])
    y_true = _numeric(prepared, label, "label")
    y_pred = _numeric(prepared, prediction, "prediction")
    if task == "classification":
        values = _tarvenn.py_model_perf_classification(y_true, y_pred)
    elif task == "logistic":
        values = _tarvenn.py_model_perf_logistic_regression(y_true, y_pred, threshold)
    else:
        values = _tarvenn.py_model_perf_linear_regression(y_true, y_pred)
    return MetricResult(values, family=task, rows_used=prepared.rows_used, rows_dropped=prepared.rows_dropped)


# ---------------------------------------------------------------------------------------------
# Drift


def drift(
    reference: Any,
    current: Any,
    *,
    columns: Sequence[str] | None = None,
    measures: Sequence[str] | None = None,
    bins: str = "FreedmanDiaconis",
) -> DriftResult:
    """The drift of each column from `reference` to `current`, one row per column.

    `columns` defaults to every column the two share, in the order of `current`. Numeric columns
    are binned on the reference with the rule `bins` ("FreedmanDiaconis", "Scott" or "Sturges");
    text, categorical and boolean columns by label. `measures` defaults to all four. Missing
    values (null, and NaN in numeric columns) are left out and reported as shares.
    """
    if isinstance(measures, str):
        raise TypeError("measures must be a sequence of measure names, not a single str")
    wanted = list(DRIFT_MEASURES if measures is None else measures)
    ref_table = open_table(reference, "reference")
    cur_table = open_table(current, "current")
    if columns is None:
        shared = set(ref_table.columns)
        names = [c for c in cur_table.columns if c in shared]
        if not names:
            raise ValueError(
                f"reference and current share no column (reference: {ref_table.columns!r}; "
                f"current: {cur_table.columns!r})"
            )
    else:
        if isinstance(columns, str):
            raise TypeError("columns must be a sequence of column names, not a single str")
        names = list(dict.fromkeys(columns))
    rows = []
    for name in names:
        ref = prepare_drift_column(ref_table, name, role="reference")
        cur = prepare_drift_column(cur_table, name, role="current")
        if ref.kind != cur.kind:
            raise TypeError(f"column {name!r} is {ref.kind} in reference but {cur.kind} in current")
        # The batch detectors give the bin count with the measures; their numbers equal those of
        # the one-shot functions py_compute_drift_*_distribtuion.
        if isinstance(ref.values, np.ndarray) and isinstance(cur.values, np.ndarray):
            continuous = _tarvenn.PyContinuousDataDrift(ref.values, bins)
            values, n_bins = continuous.compute_drift_mutliple_criteria(cur.values, wanted), continuous.num_bins
        elif isinstance(ref.values, list) and isinstance(cur.values, list):
            categorical = _tarvenn.PyCategoricalDataDrift(ref.values)
            values, n_bins = categorical.compute_drift_mutliple_criteria(cur.values, wanted), categorical.num_bins
        else:  # pragma: no cover - the kinds were compared above
            raise AssertionError(name)
        rows.append(
            DriftRow(
                name,
                ref.kind,
                n_bins,
                dict(zip(wanted, values)),
                ref.missing / ref.rows,
                cur.missing / cur.rows,
            )
        )
    return DriftResult(rows)


# ---------------------------------------------------------------------------------------------
# Runtime checks


def _family_of(values: Mapping[str, float], name: str) -> Family:
    if isinstance(values, MetricResult):
        return values.family
    keys = set(values)
    for family in FAMILIES:
        if keys <= set(METRICS[family]):
            return family
    known = {m for names in METRICS.values() for m in names}
    raise ValueError(
        f"cannot tell the family of {name}: its keys {sorted(keys - known)!r} are no metric names"
        if keys - known
        else f"cannot tell the family of {name}: its keys {sorted(keys)!r} mix families"
    )


def check(
    baseline: Mapping[str, float],
    latest: Mapping[str, float],
    *,
    threshold: float = 0.10,
    metrics: Sequence[str] | None = None,
) -> CheckResult:
    """Compare `latest` with `baseline` through the runtime check of their family.

    Both may be results of this package or the plain dicts that `_tarvenn` returns (the family is
    then inferred from the keys). With `metrics`, only those are checked (the module's partial
    check); otherwise all metrics of the family (its full check). Metrics that are NaN on either
    side never fail in the module; they are listed in `undefined`.
    """
    family_b = _family_of(baseline, "baseline")
    family_l = _family_of(latest, "latest")
    if family_b != family_l:
        # A classification dict is also a valid subset of logistic metrics: prefer the richer one.
        pair = {family_b, family_l}
        if pair == {"classification", "logistic"} and not (
            isinstance(baseline, MetricResult) and isinstance(latest, MetricResult)
        ):
            family_b = family_l = "logistic"
        else:
            raise ValueError(f"baseline is {family_b} but latest is {family_l}")
    family: Family = family_b
    base = {str(k): float(v) for k, v in baseline.items()}
    last = {str(k): float(v) for k, v in latest.items()}
    if metrics is None:
        report = _FULL_CHECK[family](base, last, threshold)
        checked = list(METRICS[family])
    else:
        if isinstance(metrics, str):
            raise TypeError("metrics must be a sequence of metric names, not a single str")
        checked = list(metrics)
        report = _PARTIAL_CHECK[family](base, last, checked, threshold)
    failures = {str(item["metric"]): float(item["drift"]) for item in report.get("failed_report", [])}
    undefined = [
        m
        for m in dict.fromkeys(checked)
        if math.isnan(base.get(m, 0.0)) or math.isnan(last.get(m, 0.0))
    ]
    return CheckResult(
        passed=bool(report["passed"]),
        failures=failures,
        threshold=float(threshold),
        undefined=undefined,
        family=family,
        metrics=checked,
    )
