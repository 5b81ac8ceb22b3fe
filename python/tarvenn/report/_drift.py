"""Drift of each column with the histograms the page draws, from one module detector per column.

The module's streaming detectors in flush mode (with a flush rate and cadence that are never
reached) keep the reference's bins and the current data's counts on those bins and export both;
their measures are the batch detectors' numbers (the same bins and the same total), which the
tests check against `tarvenn.drift`. So each column is sorted and binned once, and the page gets
the reference's edges and fractions and the current fractions without any row leaving the module.
"""

from __future__ import annotations

from collections.abc import Callable, Sequence
from dataclasses import dataclass
from typing import Any, Literal

import _tarvenn

from ..inputs import prepare_drift_column
from ..results import DriftResult, DriftRow

__all__ = ["Histogram", "ColumnDrift", "column_drift", "drift_columns"]

# Far beyond any data set: the window is never flushed while the current data is added.
_NEVER_RATE = 2**63
_NEVER_CADENCE = 2**62


@dataclass(frozen=True)
class Histogram:
    """A column's distribution on the reference's bins.

    Continuous: `edges` are the module's bin edges; bin 0 holds values below the reference's
    minimum, bin k (1 <= k <= len(edges) - 1) holds edges[k-1] <= v < edges[k], and the last two
    bins hold the last edge itself and everything above it. Categorical: `labels` are the
    reference's labels in the module's bin order, and the last bin (label None) holds the labels
    the reference never saw.
    """

    kind: Literal["continuous", "categorical"]
    edges: tuple[float, ...]
    labels: tuple[str | None, ...]
    reference: tuple[float, ...]
    current: tuple[float, ...]

    def to_dict(self) -> dict[str, Any]:
        out: dict[str, Any] = {"reference": list(self.reference), "current": list(self.current)}
        if self.kind == "continuous":
            out["edges"] = list(self.edges)
        else:
            out["labels"] = list(self.labels)
        return out


@dataclass(frozen=True)
class ColumnDrift:
    row: DriftRow
    histogram: Histogram
    rows_reference: int
    rows_current: int


def column_drift(reference: Any, current: Any, name: str, measures: Sequence[str], bins: str) -> ColumnDrift:
    """The drift row and histogram of column `name` (tables as `tarvenn.inputs.open_table` gives)."""
    ref = prepare_drift_column(reference, name, role="reference")
    ref_rows, ref_missing, kind = ref.rows, ref.missing, ref.kind
    detector: Any
    values: Any = ref.values
    if kind == "continuous":
        detector = _tarvenn.PyStreamingContinuousDataDriftFlush(values, bins, _NEVER_RATE, _NEVER_CADENCE)
    else:
        detector = _tarvenn.PyStreamingCategoricalDataDriftFlush(values, _NEVER_RATE, _NEVER_CADENCE)
    # The detector keeps only bins: let the reference's values go before the current ones are read.
    del ref, values
    cur = prepare_drift_column(current, name, role="current")
    if cur.kind != kind:
        raise TypeError(f"column {name!r} is {kind} in reference but {cur.kind} in current")
    cur_rows, cur_missing = cur.rows, cur.missing
    detector.update_stream_batch(cur.values)
    del cur
    results = detector.compute_drift_multiple_criteria(list(measures))
    if kind == "continuous":
        snapshot = detector.export_snapshot()
        histogram = Histogram(
            "continuous",
            tuple(snapshot["binEdges"]),
            (),
            tuple(snapshot["baselineBins"]),
            tuple(snapshot["streamBins"]),
        )
    else:
        baseline = detector.export_baseline()
        counts = detector.export_snapshot()
        total = float(detector.total_samples)
        labels = sorted(baseline)  # code-point order of str is the byte order of its UTF-8: the bin order
        seen = [counts[label] for label in labels]
        unseen = total - sum(seen)
        histogram = Histogram(
            "categorical",
            (),
            (*labels, None),
            (*(baseline[label] for label in labels), 0.0),
            (*(c / total for c in seen), unseen / total),
        )
    row = DriftRow(
        name,
        kind,
        int(detector.n_bins),
        dict(zip(measures, results)),
        ref_missing / ref_rows,
        cur_missing / cur_rows,
    )
    return ColumnDrift(row, histogram, ref_rows, cur_rows)


def drift_columns(
    reference: Any,
    current: Any,
    names: Sequence[str],
    measures: Sequence[str],
    bins: str,
    progress: Callable[[int, int, str], None] | None = None,
) -> tuple[DriftResult, list[ColumnDrift]]:
    """`column_drift` for each of `names`, in order, reporting progress before each column."""
    out = []
    for i, name in enumerate(names):
        if progress is not None:
            progress(i, len(names), name)
        out.append(column_drift(reference, current, name, measures, bins))
    if progress is not None:
        progress(len(names), len(names), "")
    return DriftResult([c.row for c in out]), out
