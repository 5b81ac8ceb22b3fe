"""Result objects: immutable, readable, and lossless through JSON."""

from __future__ import annotations

import math
from collections.abc import Iterator, Mapping, Sequence
from types import MappingProxyType
from typing import TYPE_CHECKING, Any, Literal, overload

from . import _json

if TYPE_CHECKING:
    from typing_extensions import Self

__all__ = ["Family", "MetricResult", "CheckResult", "DriftRow", "DriftResult"]

Family = Literal["data_bias", "model_bias", "classification", "logistic", "regression"]
FAMILIES: tuple[Family, ...] = ("data_bias", "model_bias", "classification", "logistic", "regression")


def _format_value(x: float) -> str:
    return repr(x) if not math.isfinite(x) else f"{x:.6g}"


def _table(title: str, rows: Sequence[tuple[str, ...]]) -> str:
    if not rows:
        return title
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    lines = [title]
    for row in rows:
        cells = [row[0].ljust(widths[0])] + [cell.rjust(w) for cell, w in zip(row[1:], widths[1:])]
        lines.append("  " + "  ".join(cells).rstrip())
    return "\n".join(lines)


class _Frozen:
    __slots__ = ()

    def __setattr__(self, name: str, value: object) -> None:
        raise AttributeError(f"{type(self).__name__} is immutable")

    def __delattr__(self, name: str) -> None:
        raise AttributeError(f"{type(self).__name__} is immutable")


class MetricResult(_Frozen, Mapping[str, float]):
    """The metrics of one analysis, in the module's metric order, with the rows it used."""

    __slots__ = ("_values", "_family", "_rows_used", "_rows_dropped")
    _values: Mapping[str, float]
    _family: Family
    _rows_used: int
    _rows_dropped: int

    def __init__(self, values: Mapping[str, float], *, family: Family, rows_used: int, rows_dropped: int = 0):
        if family not in FAMILIES:
            raise ValueError(f"unknown family {family!r}; families are {list(FAMILIES)!r}")
        object.__setattr__(self, "_values", MappingProxyType({str(k): float(v) for k, v in values.items()}))
        object.__setattr__(self, "_family", family)
        object.__setattr__(self, "_rows_used", int(rows_used))
        object.__setattr__(self, "_rows_dropped", int(rows_dropped))

    @property
    def family(self) -> Family:
        return self._family

    @property
    def rows_used(self) -> int:
        return self._rows_used

    @property
    def rows_dropped(self) -> int:
        return self._rows_dropped

    def __getitem__(self, key: str) -> float:
        return self._values[key]

    def __iter__(self) -> Iterator[str]:
        return iter(self._values)

    def __len__(self) -> int:
        return len(self._values)

    def __repr__(self) -> str:
        title = (
            f"MetricResult({self._family}, rows_used={self._rows_used}, rows_dropped={self._rows_dropped})"
        )
        return _table(title, [(k, _format_value(v)) for k, v in self._values.items()])

    def check(
        self, latest: Mapping[str, float], threshold: float = 0.10, metrics: Sequence[str] | None = None
    ) -> CheckResult:
        """Check `latest` against this result as baseline (see `tarvenn.check`)."""
        from .front import check

        return check(self, latest, threshold=threshold, metrics=metrics)

    def to_dict(self) -> dict[str, Any]:
        return {
            "family": self._family,
            "rows_used": self._rows_used,
            "rows_dropped": self._rows_dropped,
            "metrics": dict(self._values),
        }

    def to_json(self) -> str:
        return _json.dumps(
            {
                "type": "MetricResult",
                "version": 1,
                "family": self._family,
                "rows_used": self._rows_used,
                "rows_dropped": self._rows_dropped,
                "metrics": {k: _json.encode_float(v) for k, v in self._values.items()},
            }
        )

    @classmethod
    def from_json(cls, text: str | bytes) -> Self:
        doc = _json.loads(text, "MetricResult")
        family = _json.field(doc, "family", str, "MetricResult")
        metrics = _json.field(doc, "metrics", dict, "MetricResult")
        values = {str(k): _json.decode_float(v, f"metric {k!r}") for k, v in metrics.items()}
        return cls(
            values,
            family=family,
            rows_used=_json.field(doc, "rows_used", int, "MetricResult"),
            rows_dropped=_json.field(doc, "rows_dropped", int, "MetricResult"),
        )


class CheckResult(_Frozen):
    """The outcome of a runtime check: which metrics drifted past the threshold, and which could
    not be judged because a value is NaN."""

    __slots__ = ("_passed", "_failures", "_threshold", "_undefined", "_family", "_metrics")
    _passed: bool
    _failures: Mapping[str, float]
    _threshold: float
    _undefined: tuple[str, ...]
    _family: Family
    _metrics: tuple[str, ...]

    def __init__(
        self,
        *,
        passed: bool,
        failures: Mapping[str, float],
        threshold: float,
        undefined: Sequence[str],
        family: Family,
        metrics: Sequence[str],
    ):
        object.__setattr__(self, "_passed", bool(passed))
        object.__setattr__(self, "_failures", MappingProxyType({str(k): float(v) for k, v in failures.items()}))
        object.__setattr__(self, "_threshold", float(threshold))
        object.__setattr__(self, "_undefined", tuple(undefined))
        object.__setattr__(self, "_family", family)
        object.__setattr__(self, "_metrics", tuple(metrics))

    @property
    def passed(self) -> bool:
        """True when no checked metric drifted past the threshold (NaN metrics never fail; see
        `undefined`)."""
        return self._passed

    @property
    def failures(self) -> Mapping[str, float]:
        """Metric name to drift, for every metric that failed, in the module's order."""
        return self._failures

    @property
    def threshold(self) -> float:
        return self._threshold

    @property
    def undefined(self) -> tuple[str, ...]:
        """Checked metrics that are NaN in the baseline or the latest values."""
        return self._undefined

    @property
    def family(self) -> Family:
        return self._family

    @property
    def metrics(self) -> tuple[str, ...]:
        """The metrics that were checked."""
        return self._metrics

    def __bool__(self) -> bool:
        return self._passed

    def __repr__(self) -> str:
        verdict = "passed" if self._passed else "failed"
        title = f"CheckResult({self._family}, {verdict}, threshold={self._threshold:g})"
        rows = [(k, "drift", _format_value(v)) for k, v in self._failures.items()]
        rows += [(k, "undefined", "NaN") for k in self._undefined]
        return _table(title, rows)

    def to_dict(self) -> dict[str, Any]:
        return {
            "family": self._family,
            "passed": self._passed,
            "threshold": self._threshold,
            "failures": dict(self._failures),
            "undefined": list(self._undefined),
            "metrics": list(self._metrics),
        }

    def to_json(self) -> str:
        doc = self.to_dict()
        doc["failures"] = {k: _json.encode_float(v) for k, v in self._failures.items()}
        doc["threshold"] = _json.encode_float(self._threshold)
        return _json.dumps({"type": "CheckResult", "version": 1, **doc})

    @classmethod
    def from_json(cls, text: str | bytes) -> Self:
        doc = _json.loads(text, "CheckResult")
        failures = _json.field(doc, "failures", dict, "CheckResult")
        return cls(
            passed=_json.field(doc, "passed", bool, "CheckResult"),
            failures={str(k): _json.decode_float(v, f"failure {k!r}") for k, v in failures.items()},
            threshold=_json.decode_float(doc.get("threshold"), "threshold"),
            undefined=[str(x) for x in _json.field(doc, "undefined", list, "CheckResult")],
            family=_json.field(doc, "family", str, "CheckResult"),
            metrics=[str(x) for x in _json.field(doc, "metrics", list, "CheckResult")],
        )


class DriftRow(_Frozen):
    """The drift of one column: its kind, number of bins, each measure, and missing shares."""

    __slots__ = ("_column", "_kind", "_bins", "_measures", "_missing_reference", "_missing_current")
    _column: str
    _kind: Literal["continuous", "categorical"]
    _bins: int
    _measures: Mapping[str, float]
    _missing_reference: float
    _missing_current: float

    def __init__(
        self,
        column: str,
        kind: Literal["continuous", "categorical"],
        bins: int,
        measures: Mapping[str, float],
        missing_reference: float,
        missing_current: float,
    ):
        object.__setattr__(self, "_column", column)
        object.__setattr__(self, "_kind", kind)
        object.__setattr__(self, "_bins", int(bins))
        object.__setattr__(self, "_measures", MappingProxyType({str(k): float(v) for k, v in measures.items()}))
        object.__setattr__(self, "_missing_reference", float(missing_reference))
        object.__setattr__(self, "_missing_current", float(missing_current))

    @property
    def column(self) -> str:
        return self._column

    @property
    def kind(self) -> Literal["continuous", "categorical"]:
        return self._kind

    @property
    def bins(self) -> int:
        return self._bins

    @property
    def measures(self) -> Mapping[str, float]:
        return self._measures

    @property
    def missing_reference(self) -> float:
        """Share of the reference rows missing in this column (0 to 1)."""
        return self._missing_reference

    @property
    def missing_current(self) -> float:
        """Share of the current rows missing in this column (0 to 1)."""
        return self._missing_current

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, DriftRow):
            return NotImplemented
        return self.to_dict() == other.to_dict()

    def __hash__(self) -> int:
        return hash((self._column, self._kind, self._bins))

    def __repr__(self) -> str:
        measures = ", ".join(f"{k}={_format_value(v)}" for k, v in self._measures.items())
        return (
            f"DriftRow({self._column!r}, {self._kind}, bins={self._bins}, {measures}, "
            f"missing_reference={self._missing_reference:g}, missing_current={self._missing_current:g})"
        )

    def to_dict(self) -> dict[str, Any]:
        return {
            "column": self._column,
            "kind": self._kind,
            "bins": self._bins,
            "measures": dict(self._measures),
            "missing_reference": self._missing_reference,
            "missing_current": self._missing_current,
        }


class DriftResult(_Frozen):
    """One `DriftRow` per column, in the column order of the current data. Iterating gives the
    rows; `result["col"]` gives the row of a column."""

    __slots__ = ("_rows",)
    _rows: Mapping[str, DriftRow]

    def __init__(self, rows: Sequence[DriftRow]):
        object.__setattr__(self, "_rows", MappingProxyType({row.column: row for row in rows}))

    @overload
    def __getitem__(self, key: str) -> DriftRow: ...

    @overload
    def __getitem__(self, key: int) -> DriftRow: ...

    def __getitem__(self, key: str | int) -> DriftRow:
        if isinstance(key, int):
            return list(self._rows.values())[key]
        try:
            return self._rows[key]
        except KeyError:
            raise KeyError(f"no drift row for column {key!r}; columns are {list(self._rows)!r}") from None

    def __iter__(self) -> Iterator[DriftRow]:
        return iter(self._rows.values())

    def __len__(self) -> int:
        return len(self._rows)

    def __contains__(self, column: object) -> bool:
        return column in self._rows

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, DriftResult):
            return NotImplemented
        return self.to_dict() == other.to_dict()

    __hash__ = None  # type: ignore[assignment]

    @property
    def columns(self) -> list[str]:
        return list(self._rows)

    def __repr__(self) -> str:
        rows = list(self._rows.values())
        names = list(dict.fromkeys(m for row in rows for m in row.measures))
        header = ("column", "kind", "bins", *names, "missing_ref", "missing_cur")
        body = [
            (
                row.column,
                row.kind,
                str(row.bins),
                *(_format_value(row.measures[m]) if m in row.measures else "" for m in names),
                f"{row.missing_reference:.4g}",
                f"{row.missing_current:.4g}",
            )
            for row in rows
        ]
        return _table(f"DriftResult({len(rows)} columns)", [header, *body])

    def to_dict(self) -> dict[str, Any]:
        return {"columns": [row.to_dict() for row in self._rows.values()]}

    def to_json(self) -> str:
        columns = []
        for row in self._rows.values():
            doc = row.to_dict()
            doc["measures"] = {k: _json.encode_float(v) for k, v in row.measures.items()}
            doc["missing_reference"] = _json.encode_float(row.missing_reference)
            doc["missing_current"] = _json.encode_float(row.missing_current)
            columns.append(doc)
        return _json.dumps({"type": "DriftResult", "version": 1, "columns": columns})

    @classmethod
    def from_json(cls, text: str | bytes) -> Self:
        doc = _json.loads(text, "DriftResult")
        rows = []
        for item in _json.field(doc, "columns", list, "DriftResult"):
            if not isinstance(item, dict):
                raise ValueError("DriftResult document: a column entry is not an object")
            kind = _json.field(item, "kind", str, "DriftResult")
            if kind not in ("continuous", "categorical"):
                raise ValueError(f"DriftResult document: unknown kind {kind!r}")
            measures = _json.field(item, "measures", dict, "DriftResult")
            rows.append(
                DriftRow(
                    _json.field(item, "column", str, "DriftResult"),
                    kind,
                    _json.field(item, "bins", int, "DriftResult"),
                    {str(k): _json.decode_float(v, f"measure {k!r}") for k, v in measures.items()},
                    _json.decode_float(item.get("missing_reference"), "missing_reference"),
                    _json.decode_float(item.get("missing_current"), "missing_current"),
                )
            )
        return cls(rows)
