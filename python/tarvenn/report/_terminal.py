"""The terminal side of a report: a summary table of the checks and the most drifted columns,
and a one-line progress display that is shown only on a terminal."""

from __future__ import annotations

import math
import time
from typing import TextIO

from ._model import Report

__all__ = ["summary", "Progress"]

_WORD = {"failed": "FAIL", "passed": "pass", "undefined": "UNDEFINED"}


def _num(x: float | None) -> str:
    if x is None:
        return "-"
    if math.isnan(x):
        return "NaN"
    return f"{x:.4g}"


def _table(header: list[str], rows: list[list[str]], right: set[int]) -> list[str]:
    widths = [max(len(r[i]) for r in [header, *rows]) for i in range(len(header))]

    def line(cells: list[str]) -> str:
        return "  ".join(c.rjust(w) if i in right else c.ljust(w) for i, (c, w) in enumerate(zip(cells, widths))).rstrip()

    return [line(header), line(["-" * w for w in widths]), *(line(r) for r in rows)]


def summary(report: Report, most: int = 5) -> str:
    """The checks (failures first) and the `most` most drifted columns, as plain text."""
    counts = {s: report.count(s) for s in ("failed", "undefined", "passed")}
    verdict = "PASSED" if report.passed else "FAILED"
    lines = [
        f"tarvenn {report.version}: {report.current.path} ({report.current.rows:,} rows) against "
        f"{report.reference.path} ({report.reference.rows:,} rows)",
        "",
    ]
    rows = []
    for c in report.sorted_checks:
        note = f"  ({c.reason})" if c.reason else ""
        rows.append(
            [c.family, c.metric, _num(c.reference), _num(c.current), _num(c.drift), _num(c.threshold), _WORD[c.status] + note]
        )
    header = ["family", "metric", "reference", "current", "drift", "threshold", "result"]
    lines += _table(header, rows, {2, 3, 4, 5})
    ranked = report.most_drifted(most)
    if ranked:
        measure = report.options.drift_measure
        lines += ["", f"Most drifted columns by {measure}:"]
        drows = [
            [c.row.column, c.row.kind, str(c.row.bins), _num(c.row.measures[measure]),
             f"{100 * c.row.missing_reference:.1f}%", f"{100 * c.row.missing_current:.1f}%"]
            for c in ranked
        ]
        lines += _table(["column", "kind", "bins", measure, "missing ref", "missing cur"], drows, {2, 3, 4, 5})
    undefined = f", {counts['undefined']} undefined" if counts["undefined"] else ""
    lines += ["", f"{verdict}: {counts['failed']} of {len(report.checks)} checks failed{undefined}."]
    return "\n".join(lines)


class Progress:
    """Shows `[i/n] drift: column` on one rewritten line of `stream`, only when it is a terminal
    and not silenced; otherwise does nothing."""

    def __init__(self, stream: TextIO, quiet: bool = False):
        self._stream = stream
        self._on = not quiet and stream.isatty()
        self._start = time.monotonic()
        self._width = 0

    def __call__(self, done: int, total: int, column: str) -> None:
        if not self._on:
            return
        if done >= total:
            self._stream.write("\r" + " " * self._width + "\r")
        else:
            elapsed = time.monotonic() - self._start
            text = f"[{done + 1}/{total}] drift: {column}  ({elapsed:.1f}s)"
            self._stream.write("\r" + text.ljust(self._width))
            self._width = max(self._width, len(text))
        self._stream.flush()

    def message(self, text: str) -> None:
        if self._on:
            self._stream.write("\r" + text.ljust(self._width))
            self._width = max(self._width, len(text))
            self._stream.flush()
