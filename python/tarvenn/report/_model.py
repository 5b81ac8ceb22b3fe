"""What a report holds: the options, the inputs, the metric results and checks, the drift of
each column with its histogram; and its JSON form. Every number in it is the module's."""

from __future__ import annotations

import math
from collections.abc import Mapping, Sequence
from dataclasses import dataclass, field
from typing import Any, Literal

from .. import _json
from .._rules import Rule, Value
from ..results import CheckResult, MetricResult
from ._drift import ColumnDrift

__all__ = ["Options", "InputInfo", "FamilyResult", "CheckRow", "Report", "Status", "value_text"]

Status = Literal["failed", "undefined", "passed"]
_STATUS_ORDER = {"failed": 0, "undefined": 1, "passed": 2}


def value_text(value: Value | None) -> str | None:
    """A value or rule as the command line writes it ('>=60', '=female', 1)."""
    if value is None:
        return None
    if isinstance(value, Rule):
        signs = {"GreaterThan": ">", "GreaterThanEqualTo": ">=", "LessThan": "<", "LessThanEqualTo": "<=", "EqualTo": "="}
        operand = value.operand if isinstance(value.operand, str) else f"{value.operand:g}"
        return f"{signs[value.comparison]}{operand}"
    return str(value)


@dataclass(frozen=True)
class Options:
    """What to compute; the command line fills it from its arguments."""

    columns: Sequence[str] | None = None
    measures: Sequence[str] = ("JensenShannon", "PopulationStabilityIndex", "WassersteinDistance", "KullbackLeibler")
    bins: str = "FreedmanDiaconis"
    facet: str | None = None
    facet_value: Value | None = None
    label: str | None = None
    label_value: Value = 1
    prediction: str | None = None
    prediction_value: Value | None = None
    task: Literal["classification", "logistic", "regression"] = "classification"
    decision_threshold: float = 0.5
    threshold: float = 0.10
    drift_measure: str = "PopulationStabilityIndex"
    drift_threshold: float = 0.2
    fail_on_undefined: bool = False

    def to_dict(self) -> dict[str, Any]:
        return {
            "columns": None if self.columns is None else list(self.columns),
            "measures": list(self.measures),
            "bins": self.bins,
            "facet": self.facet,
            "facet_value": value_text(self.facet_value),
            "label": self.label,
            "label_value": value_text(self.label_value) if self.label else None,
            "prediction": self.prediction,
            "prediction_value": value_text(self.prediction_value),
            "task": self.task if self.prediction else None,
            "decision_threshold": self.decision_threshold if self.prediction and self.task == "logistic" else None,
            "threshold": self.threshold,
            "drift_measure": self.drift_measure,
            "drift_threshold": self.drift_threshold,
            "fail_on_undefined": self.fail_on_undefined,
        }


@dataclass(frozen=True)
class InputInfo:
    path: str
    rows: int
    columns: tuple[str, ...]

    def to_dict(self) -> dict[str, Any]:
        return {"path": self.path, "rows": self.rows, "columns": list(self.columns)}


@dataclass(frozen=True)
class FamilyResult:
    """One metric family on both inputs and the module's check of current against reference."""

    family: str
    reference: MetricResult
    current: MetricResult
    check: CheckResult

    def to_dict(self) -> dict[str, Any]:
        return {"reference": self.reference.to_dict(), "current": self.current.to_dict(), "check": self.check.to_dict()}


@dataclass(frozen=True)
class CheckRow:
    """One line of the table of checks. `drift` is the module's drift of a failed metric check,
    or the column's drift measure for a drift check; `reason` says why a check is undefined."""

    family: str
    metric: str
    reference: float | None
    current: float | None
    drift: float | None
    threshold: float
    status: Status
    reason: str | None = None

    def to_dict(self) -> dict[str, Any]:
        return {
            "family": self.family,
            "metric": self.metric,
            "reference": self.reference,
            "current": self.current,
            "drift": self.drift,
            "threshold": self.threshold,
            "status": self.status,
            "reason": self.reason,
        }


@dataclass(frozen=True)
class Report:
    version: str
    options: Options
    reference: InputInfo
    current: InputInfo
    families: Sequence[FamilyResult]
    drift: Sequence[ColumnDrift]
    checks: Sequence[CheckRow] = field(default_factory=tuple)

    @property
    def sorted_checks(self) -> list[CheckRow]:
        """Failures first, then undefined checks, then those that passed (each group in table order)."""
        return sorted(self.checks, key=lambda c: _STATUS_ORDER[c.status])

    def count(self, status: Status) -> int:
        return sum(1 for c in self.checks if c.status == status)

    @property
    def passed(self) -> bool:
        if self.count("failed"):
            return False
        return not (self.options.fail_on_undefined and self.count("undefined"))

    def most_drifted(self, limit: int | None = None) -> list[ColumnDrift]:
        """Columns by the checked drift measure, largest first (undefined values last)."""
        measure = self.options.drift_measure

        def key(c: ColumnDrift) -> tuple[int, float]:
            v = c.row.measures[measure]
            return (1, 0.0) if math.isnan(v) else (0, -v)

        ranked = sorted(self.drift, key=key)
        return ranked if limit is None else ranked[:limit]

    def to_dict(self) -> dict[str, Any]:
        return {
            "type": "tarvenn-report",
            "version": 1,
            "tarvenn": self.version,
            "verdict": "passed" if self.passed else "failed",
            "counts": {s: self.count(s) for s in ("failed", "undefined", "passed")},
            "options": self.options.to_dict(),
            "inputs": {"reference": self.reference.to_dict(), "current": self.current.to_dict()},
            "checks": [c.to_dict() for c in self.sorted_checks],
            "metrics": {f.family: f.to_dict() for f in self.families},
            "drift": [
                {**c.row.to_dict(), "rows_reference": c.rows_reference, "rows_current": c.rows_current,
                 "histogram": c.histogram.to_dict()}
                for c in self.drift
            ],
        }

    def to_json(self) -> str:
        return _json.dumps(_encode(self.to_dict()))


def _encode(value: Any) -> Any:
    """Floats as lossless JSON (NaN and the infinities as strings), recursively."""
    if isinstance(value, float):
        return _json.encode_float(value)
    if isinstance(value, Mapping):
        return {str(k): _encode(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [_encode(v) for v in value]
    return value
