"""tarvenn on a Dask DataFrame: the numbers of `tarvenn.data_bias`, `model_bias`, `performance`
and `drift` for the same rows, computed partition by partition on the cluster.

Each partition is read by the front's own input preparation and counted into the native
accumulators of `tarvenn._engine`; the partitions' serialised accumulators are merged in a tree of
tasks and only the last one reaches the client, so the client never holds rows. Counts are exact;
the float sums of the logistic log loss and of regression are added in another order than one
pass over the rows, which can move a metric by a rounding step of its 64-bit sum (far below
the 32-bit result's own step, so the reported metric is almost always the same float).

Runs on whatever scheduler is active: a `distributed.Client` when one is set, else Dask's default.
"""

from __future__ import annotations

from collections.abc import Sequence
from typing import Any

from ._partitions import (
    DriftPlan,
    Plan,
    bias_result,
    baselines_for,
    drift_measures,
    performance_result,
    raise_failure,
)
from ._rules import Value
from .front import Task
from .inputs import open_table
from .results import DriftResult, MetricResult

try:
    import dask.dataframe as dd
    from dask.base import compute
    from dask.delayed import delayed
except ImportError as exc:  # pragma: no cover - only without the extra
    raise ImportError("tarvenn.dask needs Dask: pip install 'tarvenn[dask]'") from exc

__all__ = ["data_bias", "model_bias", "performance", "drift", "REFERENCE_ROW_LIMIT"]

# A distributed reference is collected to the client to build the baselines once; beyond this many
# rows, pass a local frame (or a sample) instead.
REFERENCE_ROW_LIMIT = 10_000_000


def _frame(data: Any, role: str = "data") -> Any:
    if not isinstance(data, dd.DataFrame):
        raise TypeError(f"{role} must be a Dask DataFrame, got {type(data).__name__}; use tarvenn.{role} functions for local frames")
    return data


def _runner(frame: Any, split_every: int = 8) -> Any:
    """Runs a plan: one task per partition, then merges of up to `split_every` results per task."""

    def run(plan: Plan) -> Any:
        parts = frame.to_delayed()
        level = [delayed(plan.partial, pure=True)(part, index) for index, part in enumerate(parts)]
        merge_group = delayed(_merge_group, pure=True)
        while len(level) > 1:
            level = [merge_group(plan, *level[i : i + split_every]) for i in range(0, len(level), split_every)]
        (result,) = compute(level[0])  # type: ignore[no-untyped-call,unused-ignore]
        return result

    return run


def _merge_group(plan: Plan, *partials: Any) -> Any:
    result = partials[0]
    for other in partials[1:]:
        result = plan.merge(result, other)
    return result


def data_bias(data: Any, *, facet: str, label: str, facet_value: Value, label_value: Value = 1) -> MetricResult:
    """`tarvenn.data_bias` over the partitions of a Dask DataFrame."""
    frame = _frame(data)
    return bias_result(
        _runner(frame),
        frame._meta,
        "data_bias",
        {"facet_value": facet_value, "label_value": label_value},
        {"facet_value": facet, "label_value": label},
    )


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
    """`tarvenn.model_bias` over the partitions of a Dask DataFrame."""
    frame = _frame(data)
    return bias_result(
        _runner(frame),
        frame._meta,
        "model_bias",
        {"facet_value": facet_value, "label_value": label_value, "prediction_value": prediction_value},
        {"facet_value": facet, "label_value": label, "prediction_value": prediction},
    )


def performance(data: Any, *, label: str, prediction: str, task: Task, threshold: float = 0.5) -> MetricResult:
    """`tarvenn.performance` over the partitions of a Dask DataFrame."""
    frame = _frame(data)
    return performance_result(_runner(frame), frame._meta, label, prediction, task, threshold)


def drift(
    reference: Any,
    current: Any,
    *,
    columns: Sequence[str] | None = None,
    measures: Sequence[str] | None = None,
    bins: str = "FreedmanDiaconis",
) -> DriftResult:
    """`tarvenn.drift` of a Dask DataFrame `current` from `reference`.

    `reference` is a local frame (any the front reads), a mapping of column name to saved batch
    drift detector (PyContinuousDataDrift, PyCategoricalDataDrift: their baselines are used as
    they are, and their reference's missing share is NaN), or a Dask DataFrame of at most
    REFERENCE_ROW_LIMIT rows, collected once to build the baselines. Every column of `current` is
    binned in the same pass over its partitions.
    """
    frame = _frame(current, "current")
    wanted = drift_measures(measures)
    if isinstance(reference, dd.DataFrame):
        rows = len(reference)
        if rows > REFERENCE_ROW_LIMIT:
            raise ValueError(
                f"the reference has {rows} rows, more than the {REFERENCE_ROW_LIMIT} that are collected "
                "to build the baselines; pass a local frame or a sample of it"
            )
        reference = reference.compute()  # type: ignore[no-untyped-call,unused-ignore]
    baselines = baselines_for(reference, list(frame.columns), columns, bins)
    meta = open_table(frame._meta, "current")
    for baseline in baselines:
        meta.column(baseline.column)  # the front's error for a missing column
    plan = DriftPlan(tuple(baselines), wanted)
    return plan.finish(raise_failure(_runner(frame)(plan)))
