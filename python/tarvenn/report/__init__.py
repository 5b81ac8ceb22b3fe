"""The report of current data against reference data: metric families and their checks, the
drift of each column with its histogram, as a terminal summary, JSON and a self-contained HTML
page. Everything in it is built from the module's aggregates, never from rows."""

from __future__ import annotations

from ._build import build_report, drift_column_names
from ._drift import ColumnDrift, Histogram, column_drift
from ._html import render_html
from ._model import CheckRow, FamilyResult, InputInfo, Options, Report
from ._terminal import Progress, summary

__all__ = [
    "build_report",
    "drift_column_names",
    "column_drift",
    "ColumnDrift",
    "Histogram",
    "render_html",
    "summary",
    "Progress",
    "CheckRow",
    "FamilyResult",
    "InputInfo",
    "Options",
    "Report",
]
