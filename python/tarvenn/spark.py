"""tarvenn on a Spark DataFrame: the numbers of `tarvenn.data_bias`, `model_bias`, `performance`
and `drift` for the same rows, computed partition by partition by Spark's Python workers.

Each partition arrives as Arrow record batches (`mapInArrow`); each batch is read by the front's
own input preparation and counted into the native accumulators of `tarvenn._engine`, merged
within the partition, and the partition's serialised result is merged with the others by
`treeReduce`, so the driver never holds rows. Counts are exact; the float sums of the logistic log
loss and of regression are added in another order than one pass over the rows (see tarvenn.dask).

The workers must run a Python that has tarvenn installed (PYSPARK_PYTHON).
"""

from __future__ import annotations

import pickle
from collections.abc import Sequence
from typing import Any, Iterator

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
    import pyarrow as pa  # type: ignore[import-untyped,unused-ignore]
    from pyspark.sql import DataFrame as SparkDataFrame
    from pyspark.sql.pandas.types import to_arrow_schema
except ImportError as exc:  # pragma: no cover - only without the extra
    raise ImportError("tarvenn.spark needs PySpark and PyArrow: pip install 'tarvenn[spark]'") from exc

__all__ = ["data_bias", "model_bias", "performance", "drift", "REFERENCE_ROW_LIMIT"]

# A distributed reference is collected to the driver to build the baselines once; beyond this many
# rows, pass a local frame (or a sample) instead.
REFERENCE_ROW_LIMIT = 10_000_000

_RESULT_SCHEMA = "partial binary"


def _frame(data: Any, role: str = "data") -> Any:
    if not isinstance(data, SparkDataFrame):
        raise TypeError(
            f"{role} must be a Spark DataFrame, got {type(data).__name__}; use tarvenn's own functions for local frames"
        )
    return data


def _meta(frame: Any) -> Any:
    """An empty Arrow table of the frame's schema, for the checks made before any job."""
    return to_arrow_schema(frame.schema).empty_table()


def _partition_runner(plan: Plan, schema: Any) -> Any:
    def run_partition(batches: Iterator[Any]) -> Iterator[Any]:
        from pyspark import TaskContext

        context = TaskContext.get()
        index = context.partitionId() if context is not None else 0
        result = None
        for batch in batches:
            part = plan.partial(pa.Table.from_batches([batch]), index)
            result = part if result is None else plan.merge(result, part)
        if result is None:  # an empty partition
            result = plan.partial(schema.empty_table(), index)
        yield pa.RecordBatch.from_pylist([{"partial": pickle.dumps(result)}])

    return run_partition


def _runner(frame: Any) -> Any:
    schema = to_arrow_schema(frame.schema)

    def run(plan: Plan) -> Any:
        def merge(a: bytes, b: bytes) -> bytes:
            return pickle.dumps(plan.merge(pickle.loads(a), pickle.loads(b)))

        partials = frame.mapInArrow(_partition_runner(plan, schema), _RESULT_SCHEMA).rdd.map(lambda row: row[0])
        return pickle.loads(partials.treeReduce(merge))

    return run


def data_bias(data: Any, *, facet: str, label: str, facet_value: Value, label_value: Value = 1) -> MetricResult:
    """`tarvenn.data_bias` over the partitions of a Spark DataFrame."""
    frame = _frame(data)
    return bias_result(
        _runner(frame),
        _meta(frame),
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
    """`tarvenn.model_bias` over the partitions of a Spark DataFrame."""
    frame = _frame(data)
    return bias_result(
        _runner(frame),
        _meta(frame),
        "model_bias",
        {"facet_value": facet_value, "label_value": label_value, "prediction_value": prediction_value},
        {"facet_value": facet, "label_value": label, "prediction_value": prediction},
    )


def performance(data: Any, *, label: str, prediction: str, task: Task, threshold: float = 0.5) -> MetricResult:
    """`tarvenn.performance` over the partitions of a Spark DataFrame."""
    frame = _frame(data)
    return performance_result(_runner(frame), _meta(frame), label, prediction, task, threshold)


def drift(
    reference: Any,
    current: Any,
    *,
    columns: Sequence[str] | None = None,
    measures: Sequence[str] | None = None,
    bins: str = "FreedmanDiaconis",
) -> DriftResult:
    """`tarvenn.drift` of a Spark DataFrame `current` from `reference`.

    `reference` is a local frame (any the front reads), a mapping of column name to saved batch
    drift detector (PyContinuousDataDrift, PyCategoricalDataDrift: their baselines are used as
    they are, and their reference's missing share is NaN), or a Spark DataFrame of at most
    REFERENCE_ROW_LIMIT rows, collected once (as Arrow) to build the baselines. Every column of
    `current` is binned in the same pass over its partitions.
    """
    frame = _frame(current, "current")
    wanted = drift_measures(measures)
    if isinstance(reference, SparkDataFrame):
        rows = reference.count()
        if rows > REFERENCE_ROW_LIMIT:
            raise ValueError(
                f"the reference has {rows} rows, more than the {REFERENCE_ROW_LIMIT} that are collected "
                "to build the baselines; pass a local frame or a sample of it"
            )
        reference = reference.toArrow() if hasattr(reference, "toArrow") else reference.toPandas()
    baselines = baselines_for(reference, list(frame.columns), columns, bins)
    meta = open_table(_meta(frame), "current")
    for baseline in baselines:
        meta.column(baseline.column)  # the front's error for a missing column
    plan = DriftPlan(tuple(baselines), wanted)
    return plan.finish(raise_failure(_runner(frame)(plan)))
