"""Run everything a report shows: each metric family on the reference and on the current data,
the module's check of current against reference, and the drift of each column."""

from __future__ import annotations

import math
from collections.abc import Callable
from typing import Any

from .. import __version__
from .._files import InputError
from ..front import check, data_bias, model_bias, performance
from ..inputs import open_table
from ..results import CheckResult, MetricResult
from ._drift import drift_columns
from ._model import CheckRow, FamilyResult, InputInfo, Options, Report, Status

__all__ = ["build_report", "drift_column_names"]

Progress = Callable[[int, int, str], None]


def drift_column_names(options: Options, reference_columns: list[str], current_columns: list[str]) -> list[str]:
    """The columns whose drift is computed: `options.columns`, or every shared column in the
    current data's order."""
    if options.columns is not None:
        return list(dict.fromkeys(options.columns))
    shared = set(reference_columns)
    return [c for c in current_columns if c in shared]


def _families(options: Options, reference: Any, current: Any) -> list[tuple[str, Callable[[Any], MetricResult]]]:
    out: list[tuple[str, Callable[[Any], MetricResult]]] = []
    label = options.label
    if label is None:
        return out
    if options.facet is not None and options.facet_value is not None:
        facet, facet_value = options.facet, options.facet_value
        out.append(
            ("data_bias", lambda d: data_bias(d, facet=facet, label=label, facet_value=facet_value, label_value=options.label_value))
        )
        if options.prediction is not None:
            prediction = options.prediction
            pred_value = options.prediction_value
            if pred_value is None:
                # Scores are cut at the decision threshold; hard predictions take 1 as positive.
                pred_value = options.decision_threshold if options.task == "logistic" else 1
            out.append(
                (
                    "model_bias",
                    lambda d: model_bias(
                        d,
                        facet=facet,
                        label=label,
                        prediction=prediction,
                        facet_value=facet_value,
                        label_value=options.label_value,
                        prediction_value=pred_value,
                    ),
                )
            )
    if options.prediction is not None:
        prediction = options.prediction
        out.append(
            (
                options.task,
                lambda d: performance(
                    d, label=label, prediction=prediction, task=options.task, threshold=options.decision_threshold
                ),
            )
        )
    return out


def _metric_rows(family: str, ref: MetricResult, cur: MetricResult, result: CheckResult) -> list[CheckRow]:
    rows = []
    undefined = set(result.undefined)
    for metric in result.metrics:
        r, c = ref[metric], cur[metric]
        reason = None
        if metric in undefined:
            sides = [side for side, v in (("reference", r), ("current", c)) if math.isnan(v)]
            reason = f"NaN in {' and '.join(sides)}"
        status: Status = "failed" if metric in result.failures else "undefined" if reason else "passed"
        rows.append(CheckRow(family, metric, r, c, result.failures.get(metric), result.threshold, status, reason))
    return rows


def _computed(compute: Callable[[Any], MetricResult], table: Any, family: str, path: str) -> MetricResult:
    try:
        return compute(table)
    except (ValueError, TypeError, KeyError) as exc:
        text = exc.args[0] if isinstance(exc, KeyError) and exc.args else str(exc)
        raise InputError(f"{family.replace('_', ' ')} of {path}: {text}") from exc


def build_report(
    reference: Any,
    current: Any,
    reference_info: InputInfo,
    current_info: InputInfo,
    options: Options,
    progress: Progress | None = None,
) -> Report:
    """The report of `current` against `reference` (frames or tables the front reads)."""
    ref_table = open_table(reference, "reference")
    cur_table = open_table(current, "current")
    families = []
    checks: list[CheckRow] = []
    for family, compute in _families(options, ref_table, cur_table):
        ref_result = _computed(compute, ref_table, family, reference_info.path)
        cur_result = _computed(compute, cur_table, family, current_info.path)
        result = check(ref_result, cur_result, threshold=options.threshold)
        families.append(FamilyResult(family, ref_result, cur_result, result))
        checks.extend(_metric_rows(family, ref_result, cur_result, result))

    names = drift_column_names(options, list(ref_table.columns), list(cur_table.columns))
    measures = list(dict.fromkeys([*options.measures, options.drift_measure]))
    _, columns = drift_columns(ref_table, cur_table, names, measures, options.bins, progress)
    for col in columns:
        value = col.row.measures[options.drift_measure]
        status: Status = "passed"
        reason: str | None = None
        if math.isnan(value):
            status, reason = "undefined", "NaN measure"
        elif value > options.drift_threshold:
            status = "failed"
        checks.append(
            CheckRow("drift", f"{col.row.column}: {options.drift_measure}", None, None, value, options.drift_threshold, status, reason)
        )
    return Report(__version__, options, reference_info, current_info, families, columns, checks)
