"""The self-contained HTML page: a Jinja2 template filled with the report's aggregates and the
inline SVG figures. Nothing is loaded from the network; the inline script only sorts tables."""

from __future__ import annotations

import math
from importlib import resources
from typing import Any

from ._explain import EXPLAIN, FAMILY_TITLES
from ._model import CheckRow, Report, value_text
from ._svg import histogram_svg

__all__ = ["render_html"]

_SHORT = {
    "JensenShannon": "JS",
    "PopulationStabilityIndex": "PSI",
    "WassersteinDistance": "Wasserstein",
    "KullbackLeibler": "KL",
}
_STATUS_WORD = {"failed": "FAIL", "passed": "PASS", "undefined": "UNDEFINED"}


def _num(x: float | None) -> str:
    if x is None:
        return "\u2014"
    if math.isnan(x):
        return "undefined"
    if math.isinf(x):
        return "\u221e" if x > 0 else "-\u221e"
    return f"{x:.4g}"


def _pct(x: float) -> str:
    return f"{100 * x:.2f}%"


def _template() -> Any:
    try:
        import jinja2
    except ImportError:
        from .._files import InputError

        raise InputError("--html needs Jinja2; install tarvenn with the report extra: pip install 'tarvenn[report]'") from None
    text = resources.files("tarvenn.report").joinpath("templates/report.html.j2").read_text(encoding="utf-8")
    env = jinja2.Environment(autoescape=True, trim_blocks=False, lstrip_blocks=False, undefined=jinja2.StrictUndefined)
    return env.from_string(text)


def _anchor(i: int) -> str:
    return f"column-{i}"


def render_html(report: Report) -> str:
    """The page of `report` as one string of HTML."""
    status_of = {}
    for check in report.checks:
        if check.family == "drift":
            status_of[check.metric.rsplit(": ", 1)[0]] = check.status
    anchors = {c.row.column: _anchor(i) for i, c in enumerate(report.drift)}
    cards: list[dict[str, Any]] = [
        {
            "row": c.row,
            "status": status_of[c.row.column],
            "anchor": anchors[c.row.column],
            "svg": histogram_svg(c.histogram, c.row.column, i),
        }
        for i, c in enumerate(report.drift)
    ]
    by_column = {card["row"].column: card for card in cards}
    ranked = [by_column[c.row.column] for c in report.most_drifted()]

    def check_view(c: CheckRow) -> dict[str, Any]:
        view = c.to_dict()
        view["anchor"] = anchors.get(c.metric.rsplit(": ", 1)[0]) if c.family == "drift" else None
        return view

    checks = [check_view(c) for c in report.sorted_checks]
    families = []
    for f in report.families:
        rows = [c for c in report.checks if c.family == f.family]
        families.append({"family": f.family, "reference": f.reference, "current": f.current, "rows": rows})
    counts = {s: report.count(s) for s in ("failed", "undefined", "passed")}
    measures = list(report.drift[0].row.measures) if report.drift else list(report.options.measures)
    return str(
        _template().render(
            verdict="passed" if report.passed else "failed",
            counts=counts,
            total=len(report.checks),
            options=report.options,
            facet_text=value_text(report.options.facet_value),
            label_text=value_text(report.options.label_value),
            reference=report.reference,
            current=report.current,
            checks=checks,
            columns=report.drift,
            cards=cards,
            ranked=ranked,
            measures=measures,
            families=families,
            explain=EXPLAIN,
            short=_SHORT,
            family_title=lambda f: FAMILY_TITLES.get(f, f),
            status_word=_STATUS_WORD,
            num=_num,
            pct=_pct,
            version=report.version,
        )
    )
