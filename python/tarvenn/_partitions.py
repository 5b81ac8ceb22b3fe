"""The work of one partition, and the merge of two partitions' results, for tarvenn.dask and
tarvenn.spark.

A plan describes one computation. `partial(frame, index)` runs on a worker over one partition (any
frame the front reads: pandas, pyarrow, ...) and returns a small picklable value: serialised
`tarvenn._engine` accumulators and counts, never rows. `merge` combines two such values (in a tree,
in any grouping); `finish` turns the last one into the front's result on the driver. The inputs
of every partition go through the front's own preparation (`prepare_rows`,
`prepare_drift_column`), so a partition's arrays are those the front would pass for those rows.

A partition that fails returns a `Failure` instead; it wins every merge (the lowest partition
index first), and `raise_failure` raises its error on the driver.
"""

from __future__ import annotations

import builtins
from collections.abc import Mapping, Sequence
from dataclasses import dataclass, field
from typing import Any, Callable, Union

from . import _engine
from ._rules import Rule, Value
from .front import DRIFT_MEASURES, Task, _check_value, _numeric, _segmentation
from .inputs import no_rows_error, no_values_error, prepare_drift_column, prepare_rows
from .results import DriftResult, DriftRow, Family, MetricResult

__all__ = [
    "Failure",
    "Plan",
    "RowsPlan",
    "DistinctPlan",
    "BiasPlan",
    "PerformancePlan",
    "DriftPlan",
    "bias_plans",
    "reference_baselines",
]

# Exceptions that a partition's error keeps on the driver; any other type arrives as RuntimeError.
_KEPT = (KeyError, TypeError, ValueError, OverflowError, MemoryError, ZeroDivisionError)


@dataclass(frozen=True)
class Failure:
    index: int
    type_name: str
    message: str

    def error(self) -> BaseException:
        kind = getattr(builtins, self.type_name, None)
        text = f"partition {self.index}: {self.message}"
        if isinstance(kind, type) and issubclass(kind, _KEPT):
            return kind(text)
        return RuntimeError(f"{text} ({self.type_name})")


def _failure(index: int, exc: BaseException) -> Failure:
    message = exc.args[0] if isinstance(exc, KeyError) and len(exc.args) == 1 else str(exc)
    return Failure(index, type(exc).__name__, str(message))


class Plan:
    """One computation split over partitions."""

    def work(self, frame: Any) -> Any:  # pragma: no cover - every plan defines it
        raise NotImplementedError

    def combine(self, a: Any, b: Any) -> Any:  # pragma: no cover - every plan defines it
        raise NotImplementedError

    def partial(self, frame: Any, index: int) -> Any:
        try:
            return self.work(frame)
        except Exception as exc:  # noqa: BLE001 - the driver re-raises it
            return _failure(index, exc)

    def merge(self, a: Any, b: Any) -> Any:
        if isinstance(a, Failure) or isinstance(b, Failure):
            failures = [x for x in (a, b) if isinstance(x, Failure)]
            return min(failures, key=lambda f: f.index)
        return self.combine(a, b)


def merge_all(plan: Plan, partials: Sequence[Any]) -> Any:
    """Merges partial results pairwise in a balanced tree (for engines that hand back a list)."""
    level = list(partials)
    while len(level) > 1:
        level = [plan.merge(level[i], level[i + 1]) if i + 1 < len(level) else level[i] for i in range(0, len(level), 2)]
    return level[0]


def raise_failure(result: Any) -> Any:
    if isinstance(result, Failure):
        raise result.error()
    return result


def _merge_bytes(a: bytes, b: bytes) -> bytes:
    acc = _engine.load(a)
    acc.merge(_engine.load(b))
    return bytes(acc.serialize())


# ---------------------------------------------------------------------------------------------
# Bias and performance: rows prepared as the front prepares them.


@dataclass(frozen=True)
class RowsPlan(Plan):
    """Rows left after the front drops missing values, and the module's element kind of each column
    in the partitions that have rows (they must agree, as they would in one column)."""

    columns: tuple[str, ...]

    def work(self, frame: Any) -> tuple[int, int, dict[str, str]]:
        prepared = prepare_rows(frame, self.columns, allow_empty=True)
        kinds = {} if prepared.rows_used == 0 else {c: _engine.element_kind(a) for c, a in prepared.arrays.items()}
        return prepared.rows_used, prepared.rows_dropped, kinds

    def combine(self, a: Any, b: Any) -> Any:
        kinds = dict(a[2])
        for column, kind in b[2].items():
            if kinds.setdefault(column, kind) != kind:
                raise TypeError(
                    f"column {column!r} has {kinds[column]} values in some partitions and {kind} values in "
                    "others; give it one type in every partition"
                )
        return a[0] + b[0], a[1] + b[1], kinds


@dataclass(frozen=True)
class DistinctPlan(Plan):
    """Distinct values of numeric columns (after the front's row dropping), each capped at the
    count that makes its whole column continuous."""

    columns: tuple[str, ...]
    caps: Mapping[str, int]

    def work(self, frame: Any) -> dict[str, bytes]:
        prepared = prepare_rows(frame, self.columns, allow_empty=True)
        out = {}
        for column, cap in self.caps.items():
            sample = _engine.DistinctValues(cap)
            if prepared.rows_used:
                sample.add(prepared.arrays[column])
            out[column] = bytes(sample.serialize())
        return out

    def combine(self, a: Any, b: Any) -> Any:
        return {column: _merge_bytes(a[column], b[column]) for column in a}


# The engine rule of one column from the front's segmentation argument: a plain value, or the
# (threshold, label, threshold type) triple of a rule.
def _engine_rule(argument: Any, explicit: bool, continuous: bool | None) -> tuple[Any, ...]:
    if not explicit:
        return ("value", argument, continuous)
    threshold, label, threshold_type = argument
    if label is not None:
        return ("text", label)
    return ("compare", threshold, threshold_type)


@dataclass(frozen=True)
class BiasPlan(Plan):
    """Data bias counts or model bias cells. `pairs` are the front's (parameter, column, value)
    in the module's argument order (facet, label[, prediction]); `continuous` holds the decision
    for each numeric column with a plain value."""

    family: Family
    columns: tuple[str, ...]
    pairs: tuple[tuple[str, str, Value], ...]
    continuous: Mapping[str, bool] = field(default_factory=dict)

    def empty(self) -> Any:
        return _engine.DataBiasCounts() if self.family == "data_bias" else _engine.ModelBiasCells()

    def work(self, frame: Any) -> tuple[bytes, int, int]:
        prepared = prepare_rows(frame, self.columns, allow_empty=True)
        acc = self.empty()
        if prepared.rows_used:
            args, explicit = _segmentation(prepared, self.pairs)
            columns_and_rules: list[Any] = []
            for (_, column, _), argument in zip(self.pairs, args):
                columns_and_rules += [
                    prepared.arrays[column],
                    _engine_rule(argument, explicit, self.continuous.get(column)),
                ]
            acc.add(*columns_and_rules)
        return bytes(acc.serialize()), prepared.rows_used, prepared.rows_dropped

    def combine(self, a: Any, b: Any) -> Any:
        return _merge_bytes(a[0], b[0]), a[1] + b[1], a[2] + b[2]

    def finish(self, result: Any) -> MetricResult:
        state, used, dropped = result
        if used == 0:
            raise no_rows_error("data", list(self.columns), used + dropped)
        values = _engine.load(state).finish()
        return MetricResult(values, family=self.family, rows_used=used, rows_dropped=dropped)


def bias_plans(family: Family, values: Mapping[str, Value], columns: Mapping[str, str]) -> tuple[tuple[str, ...], tuple[tuple[str, str, Value], ...], bool]:
    """Checks the values as the front does; returns the columns, the (parameter, column, value)
    pairs and whether any plain value needs a continuity decision."""
    for name, value in values.items():
        _check_value(name, value)
    pairs = tuple((name, columns[name], value) for name, value in values.items())
    explicit = any(isinstance(value, Rule) for _, _, value in pairs)
    cols = tuple(dict.fromkeys(column for _, column, _ in pairs))
    return cols, pairs, not explicit


def continuity_caps(rows: int, kinds: Mapping[str, str], columns: Sequence[str]) -> dict[str, int]:
    """The distinct count that makes each numeric column continuous (0: it never is)."""
    cap = _engine.continuous_distinct_count(rows)
    return {c: cap for c in columns if kinds.get(c) in ("float", "integer")}


def continuity_decisions(caps: Mapping[str, int], samples: Mapping[str, bytes]) -> dict[str, bool]:
    decisions = {}
    for column, cap in caps.items():
        decisions[column] = cap != 0 and _engine.load(samples[column]).saturated
    return decisions


@dataclass(frozen=True)
class PerformancePlan(Plan):
    label: str
    prediction: str
    task: Task
    threshold: Any = 0.5

    def empty(self) -> Any:
        if self.task == "classification":
            return _engine.ClassificationCounts()
        if self.task == "logistic":
            return _engine.LogisticCounts(self.threshold)
        return _engine.RegressionSums()

    def work(self, frame: Any) -> tuple[bytes, int, int]:
        prepared = prepare_rows(frame, [self.label, self.prediction], allow_empty=True)
        acc = self.empty()
        if prepared.rows_used:
            acc.add(_numeric(prepared, self.label, "label"), _numeric(prepared, self.prediction, "prediction"))
        return bytes(acc.serialize()), prepared.rows_used, prepared.rows_dropped

    def combine(self, a: Any, b: Any) -> Any:
        return _merge_bytes(a[0], b[0]), a[1] + b[1], a[2] + b[2]

    def finish(self, result: Any) -> MetricResult:
        state, used, dropped = result
        if used == 0:
            raise no_rows_error("data", [self.label, self.prediction], used + dropped)
        values = _engine.load(state).finish()
        return MetricResult(values, family=self.task, rows_used=used, rows_dropped=dropped)


def check_task(task: str) -> None:
    if task not in ("classification", "logistic", "regression"):
        raise ValueError(f"task must be 'classification', 'logistic' or 'regression', got {task!r}")


# ---------------------------------------------------------------------------------------------
# Drift: bin counts of every column in one pass, against baselines built once on the driver.


@dataclass(frozen=True)
class Baseline:
    """One column's baseline as the partitions receive it: an empty accumulator, serialised."""

    column: str
    kind: str
    state: bytes
    bins: int
    missing_share: float


def reference_baselines(reference: Any, names: Sequence[str], bins: str) -> list[Baseline]:
    """The baseline of each column, built from a local reference frame as the front builds it."""
    from .inputs import open_table

    table = open_table(reference, "reference")
    out = []
    for name in names:
        ref = prepare_drift_column(table, name, role="reference")
        acc: Any
        if ref.kind == "continuous":
            acc = _engine.ContinuousBinCounts(ref.values, bins)
        else:
            acc = _engine.CategoricalBinCounts(ref.values)
        out.append(Baseline(name, ref.kind, bytes(acc.serialize()), acc.num_bins, ref.missing / ref.rows))
    return out


def is_detector_mapping(reference: Any) -> bool:
    """A mapping of column name to saved batch drift detector (rather than a mapping of columns)."""
    import _tarvenn

    kinds = (_tarvenn.PyContinuousDataDrift, _tarvenn.PyCategoricalDataDrift)
    return isinstance(reference, Mapping) and bool(reference) and all(isinstance(v, kinds) for v in reference.values())


def detector_baselines(detectors: Mapping[str, Any], names: Sequence[str]) -> list[Baseline]:
    """The baseline of each column from its saved detector (its state, as pickle saves it). A
    detector does not know how much of its reference was missing: that share is NaN."""
    import _tarvenn

    out = []
    for name in names:
        if name not in detectors:
            raise KeyError(f"column {name!r} has no detector; the detectors are for {list(detectors)!r}")
        detector = detectors[name]
        acc = _engine.bins_from_detector(detector.__getstate__())
        kind = "continuous" if isinstance(detector, _tarvenn.PyContinuousDataDrift) else "categorical"
        out.append(Baseline(name, kind, bytes(acc.serialize()), acc.num_bins, float("nan")))
    return out


def baselines_for(reference: Any, current_columns: Sequence[str], columns: Sequence[str] | None,
                  bins: str) -> list[Baseline]:
    """Baselines from a local reference frame or a mapping of saved detectors."""
    from .inputs import open_table

    if is_detector_mapping(reference):
        names = drift_columns(list(reference), current_columns, columns)
        return detector_baselines(reference, names)
    names = drift_columns(open_table(reference, "reference").columns, current_columns, columns)
    return reference_baselines(reference, names, bins)


@dataclass(frozen=True)
class DriftPlan(Plan):
    baselines: tuple[Baseline, ...]
    measures: tuple[str, ...] = DRIFT_MEASURES

    def work(self, frame: Any) -> list[tuple[bytes, int, int]]:
        from .inputs import open_table

        table = open_table(frame, "current")
        out = []
        for baseline in self.baselines:
            cur = prepare_drift_column(table, baseline.column, role="current", allow_empty=True)
            acc = _engine.load(baseline.state)
            if len(cur.values):
                if cur.kind != baseline.kind:
                    raise TypeError(
                        f"column {baseline.column!r} is {baseline.kind} in reference but {cur.kind} in current"
                    )
                acc.add(cur.values)
            out.append((bytes(acc.serialize()), cur.missing, cur.rows))
        return out

    def combine(self, a: Any, b: Any) -> Any:
        return [(_merge_bytes(x[0], y[0]), x[1] + y[1], x[2] + y[2]) for x, y in zip(a, b)]

    def finish(self, result: Any) -> DriftResult:
        rows = []
        wanted = list(self.measures)
        for baseline, (state, missing, total) in zip(self.baselines, result):
            if total - missing == 0:
                raise no_values_error(baseline.column, "current", total)
            values = _engine.load(state).finish(wanted)
            rows.append(
                DriftRow(
                    baseline.column,
                    baseline.kind,  # type: ignore[arg-type]
                    baseline.bins,
                    dict(zip(wanted, values)),
                    baseline.missing_share,
                    missing / total,
                )
            )
        return DriftResult(rows)


def drift_columns(reference_columns: Sequence[str], current_columns: Sequence[str], columns: Sequence[str] | None) -> list[str]:
    """The columns to compare, chosen as the front chooses them."""
    if columns is None:
        shared = set(reference_columns)
        names = [c for c in current_columns if c in shared]
        if not names:
            raise ValueError(
                f"reference and current share no column (reference: {list(reference_columns)!r}; "
                f"current: {list(current_columns)!r})"
            )
        return names
    if isinstance(columns, str):
        raise TypeError("columns must be a sequence of column names, not a single str")
    return list(dict.fromkeys(columns))


def drift_measures(measures: Sequence[str] | None) -> tuple[str, ...]:
    """The measures to compute, checked by the module before any partition runs."""
    if isinstance(measures, str):
        raise TypeError("measures must be a sequence of measure names, not a single str")
    wanted = tuple(DRIFT_MEASURES if measures is None else measures)
    _engine.check_drift_measures(list(wanted))
    return wanted


def check_bias_meta(meta: Any, columns: Sequence[str], pairs: Sequence[tuple[str, str, Value]]) -> dict[str, str]:
    """Checks the columns and rules against an empty frame of the data's schema, as the front would
    check them, so that a missing column or a rule on a column of the wrong type fails before any
    partition runs. Returns the module's element kind of each column."""
    prepared = prepare_rows(meta, columns, allow_empty=True)
    if any(isinstance(value, Rule) for _, _, value in pairs):
        _segmentation(prepared, pairs)
    return {c: _engine.element_kind(a) for c, a in prepared.arrays.items()}


def check_performance_meta(meta: Any, label: str, prediction: str) -> None:
    prepared = prepare_rows(meta, [label, prediction], allow_empty=True)
    _numeric(prepared, label, "label")
    _numeric(prepared, prediction, "prediction")


def bias_result(run: Callable[[Plan], Any], meta: Any, family: Family, values: Mapping[str, Value],
                columns: Mapping[str, str]) -> MetricResult:
    """A bias analysis over partitions: `run(plan)` runs a plan over every partition and returns
    the merged result. Plain values on numeric columns take the module's continuity decision over
    the whole column: one pass for the row count, one for the capped distinct values, then the
    counting pass with the decided rules."""
    cols, pairs, plain = bias_plans(family, values, columns)
    kinds = check_bias_meta(meta, cols, pairs)
    continuous: dict[str, bool] = {}
    if plain and any(k in ("float", "integer") for k in kinds.values()):
        rows, dropped, kinds = raise_failure(run(RowsPlan(cols)))
        if rows == 0:
            raise no_rows_error("data", list(cols), dropped)
        caps = continuity_caps(rows, kinds, cols)
        continuous = {c: False for c in caps}
        if any(caps.values()):
            samples = raise_failure(run(DistinctPlan(cols, {c: n for c, n in caps.items() if n})))
            continuous.update(continuity_decisions({c: n for c, n in caps.items() if n}, samples))
    plan = BiasPlan(family, cols, pairs, continuous)
    return plan.finish(raise_failure(run(plan)))


def performance_result(run: Callable[[Plan], Any], meta: Any, label: str, prediction: str, task: Task,
                       threshold: float) -> MetricResult:
    check_task(task)
    check_performance_meta(meta, label, prediction)
    plan = PerformancePlan(label, prediction, task, threshold)
    plan.empty()  # the threshold converts as the module converts it, before any partition runs
    return plan.finish(raise_failure(run(plan)))


Runner = Callable[[Plan], Any]
Partial = Union[Failure, Any]
