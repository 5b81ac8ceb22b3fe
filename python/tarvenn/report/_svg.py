"""Inline SVG histograms of reference against current, drawn from bin fractions alone.

Colours are from the Okabe-Ito palette, which stays distinct under the common colour-vision
deficiencies; the two series also differ in form (a light filled area against a dark line, or plain
against hatched bars), so a greyscale print still tells them apart.
"""

from __future__ import annotations

import math
from collections.abc import Sequence
from html import escape

from ._drift import Histogram

__all__ = ["histogram_svg", "REFERENCE_COLOUR", "CURRENT_COLOUR", "MAX_CATEGORIES"]

REFERENCE_COLOUR = "#56B4E9"  # sky blue: light in greyscale
REFERENCE_EDGE = "#0072B2"
CURRENT_COLOUR = "#D55E00"  # vermillion: dark in greyscale
MAX_CATEGORIES = 24

_W, _H = 620, 250
_LEFT, _RIGHT, _TOP, _BOTTOM = 58, 14, 30, 62
_PLOT_W, _PLOT_H = _W - _LEFT - _RIGHT, _H - _TOP - _BOTTOM


def _n(x: float) -> str:
    """A coordinate with one decimal, without a trailing .0."""
    text = f"{x:.1f}"
    return text[:-2] if text.endswith(".0") else text


def _fmt(x: float) -> str:
    """A tick or bin bound: 4 significant digits, large values as 50k or 1.5M."""
    if x == 0:
        return "0"
    a = abs(x)
    for limit, unit, suffix in ((1e9, 1e9, "G"), (1e6, 1e6, "M"), (1e4, 1e3, "k")):
        if limit <= a < 1e12:
            return f"{x / unit:.4g}{suffix}"
    return f"{x:.4g}"


def _pct(x: float) -> str:
    return f"{100 * x:.3g}%"


def _nice_step(span: float, count: int) -> float:
    raw = span / max(count, 1)
    if raw <= 0 or not math.isfinite(raw):
        return 1.0
    power = 10 ** math.floor(math.log10(raw))
    for m in (1, 2, 2.5, 5, 10):
        if m * power >= raw:
            return float(m * power)
    return float(10 * power)


def _y_axis(ymax: float) -> tuple[float, list[str]]:
    step = _nice_step(ymax, 4)
    top = step * math.ceil(ymax / step) if ymax > 0 else step
    parts = []
    k = 0
    while k * step <= top + step * 1e-9:
        v = k * step
        y = _TOP + _PLOT_H - v / top * _PLOT_H
        parts.append(f'<line x1="{_LEFT - 4}" y1="{_n(y)}" x2="{_LEFT + _PLOT_W}" y2="{_n(y)}" class="grid"/>')
        parts.append(f'<text x="{_LEFT - 7}" y="{_n(y + 4)}" text-anchor="end">{_pct(v)}</text>')
        k += 1
    cx, cy = 14, _TOP + _PLOT_H / 2
    parts.append(
        f'<text x="{cx}" y="{_n(cy)}" text-anchor="middle" transform="rotate(-90 {cx} {_n(cy)})" '
        'class="axis-title">share of rows</text>'
    )
    return top, parts


def _legend(categorical: bool, hatch: str) -> str:
    y = 12
    ref = (
        f'<rect x="{_LEFT}" y="{y - 8}" width="18" height="10" fill="{REFERENCE_COLOUR}" '
        f'stroke="{REFERENCE_EDGE}"/><text x="{_LEFT + 24}" y="{y + 1}">reference</text>'
    )
    x = _LEFT + 110
    if categorical:
        cur = (
            f'<rect x="{x}" y="{y - 8}" width="18" height="10" fill="url(#{hatch})" stroke="{CURRENT_COLOUR}"/>'
            f'<text x="{x + 24}" y="{y + 1}">current</text>'
        )
    else:
        cur = (
            f'<line x1="{x}" y1="{y - 3}" x2="{x + 18}" y2="{y - 3}" stroke="{CURRENT_COLOUR}" stroke-width="2.5"/>'
            f'<text x="{x + 24}" y="{y + 1}">current</text>'
        )
    return f'<g class="legend">{ref}{cur}</g>'


def _frame(column: str, body: Sequence[str], title: str) -> str:
    return (
        f'<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 {_W} {_H}" width="{_W}" height="{_H}" '
        f'role="img" aria-label="{escape(title)}" class="hist"><title>{escape(title)}</title>'
        + "".join(body)
        + "</svg>"
    )


def _continuous(h: Histogram, column: str, index: int) -> str:
    edges, ref, cur = h.edges, h.reference, h.current
    # Display slots: bin 0 (below the reference's minimum), the inner bins at their edges, and one
    # slot for the last two bins (the last edge itself and everything above it).
    if len(edges) >= 2:
        w = edges[1] - edges[0]
        bounds = [edges[0] - w, *edges, edges[-1] + w]
        ref_s = [ref[0], *ref[1:-2], ref[-2] + ref[-1]]
        cur_s = [cur[0], *cur[1:-2], cur[-2] + cur[-1]]
        tick_labels: list[tuple[float, str]] | None = None
    else:
        # All reference values equal: below, at, and above that value.
        v = edges[0]
        bounds = [0.0, 1.0, 2.0, 3.0]
        ref_s, cur_s = list(ref), list(cur)
        tick_labels = [(0.5, f"< {_fmt(v)}"), (1.5, f"= {_fmt(v)}"), (2.5, f"> {_fmt(v)}")]
    lo, hi = bounds[0], bounds[-1]
    span = hi - lo if hi > lo else 1.0

    def px(x: float) -> float:
        return _LEFT + (x - lo) / span * _PLOT_W

    ymax = max(max(ref_s), max(cur_s), 1e-12)
    top, body = _y_axis(ymax)

    def py(v: float) -> float:
        return _TOP + _PLOT_H - v / top * _PLOT_H

    base = _TOP + _PLOT_H
    area = [f"M{_n(px(bounds[0]))} {_n(base)}"]
    line = []
    for i, (r, c) in enumerate(zip(ref_s, cur_s)):
        x0, x1 = px(bounds[i]), px(bounds[i + 1])
        area.append(f"V{_n(py(r))}H{_n(x1)}")
        line.append(f"V{_n(py(c))}H{_n(x1)}" if i else f"M{_n(x0)} {_n(py(c))}H{_n(x1)}")
    area.append(f"V{_n(base)}Z")
    body.append(f'<path d="{"".join(area)}" fill="{REFERENCE_COLOUR}" stroke="{REFERENCE_EDGE}" stroke-width="1"/>')
    body.append(f'<path d="{"".join(line)}" fill="none" stroke="{CURRENT_COLOUR}" stroke-width="2.5" stroke-linejoin="round"/>')
    # Hover targets with the exact fractions of each slot.
    for i, (r, c) in enumerate(zip(ref_s, cur_s)):
        x0, x1 = px(bounds[i]), px(bounds[i + 1])
        if tick_labels is not None:
            where = tick_labels[i][1]
        elif i == 0:
            where = f"below {_fmt(bounds[1])}"
        elif i == len(ref_s) - 1:
            where = f"{_fmt(bounds[i])} and above"
        else:
            where = f"{_fmt(bounds[i])} to {_fmt(bounds[i + 1])}"
        body.append(
            f'<rect x="{_n(x0)}" y="{_TOP}" width="{_n(max(x1 - x0, 0.5))}" height="{_PLOT_H}" class="hit">'
            f"<title>{escape(where)}: reference {_pct(r)}, current {_pct(c)}</title></rect>"
        )
    # x axis
    body.append(f'<line x1="{_LEFT}" y1="{_n(base)}" x2="{_LEFT + _PLOT_W}" y2="{_n(base)}" class="axis"/>')
    if tick_labels is None:
        step = _nice_step(span, 6)
        start = math.ceil(lo / step) * step
        k = 0
        while start + k * step <= hi + step * 1e-9 and k < 50:
            v = start + k * step
            x = px(v)
            body.append(f'<line x1="{_n(x)}" y1="{_n(base)}" x2="{_n(x)}" y2="{_n(base + 4)}" class="axis"/>')
            body.append(f'<text x="{_n(x)}" y="{_n(base + 17)}" text-anchor="middle">{_fmt(round(v, 12))}</text>')
            k += 1
    else:
        for x, text in tick_labels:
            body.append(f'<text x="{_n(px(x))}" y="{_n(base + 17)}" text-anchor="middle">{escape(text)}</text>')
    body.append(
        f'<text x="{_n(_LEFT + _PLOT_W / 2)}" y="{_H - 14}" text-anchor="middle" class="axis-title">'
        f"{escape(column)} (reference bins)</text>"
    )
    body.insert(0, _legend(False, ""))
    title = f"Histogram of {column}: reference against current on the reference's {len(ref)} bins"
    return _frame(column, body, title)


def _short(label: str, limit: int = 14) -> str:
    return label if len(label) <= limit else label[: limit - 1] + "\u2026"


def _categorical(h: Histogram, column: str, index: int) -> str:
    hatch = f"hatch-{index}"
    items = [(label, r, c) for label, r, c in zip(h.labels, h.reference, h.current) if label is not None]
    unseen_r, unseen_c = h.reference[-1], h.current[-1]
    if len(items) > MAX_CATEGORIES:
        # Keep the categories that matter most on either side; the rest are drawn as one bar.
        ranked = sorted(items, key=lambda t: -max(t[1], t[2]))
        kept = set(label for label, _, _ in ranked[: MAX_CATEGORIES - 1])
        rest = [t for t in items if t[0] not in kept]
        items = [t for t in items if t[0] in kept]
        shown: list[tuple[str, str, float, float]] = [(str(lbl), _short(str(lbl)), r, c) for lbl, r, c in items]
        shown.append(
            (f"{len(rest)} other labels", f"{len(rest)} others", sum(t[1] for t in rest), sum(t[2] for t in rest))
        )
    else:
        shown = [(str(lbl), _short(str(lbl)), r, c) for lbl, r, c in items]
    shown.append(("labels unseen in the reference", "(unseen)", unseen_r, unseen_c))
    ymax = max(max(t[2] for t in shown), max(t[3] for t in shown), 1e-12)
    top, body = _y_axis(ymax)
    base = _TOP + _PLOT_H
    slot = _PLOT_W / len(shown)
    bar = slot * 0.38
    defs = (
        f'<defs><pattern id="{hatch}" width="6" height="6" patternUnits="userSpaceOnUse" '
        f'patternTransform="rotate(45)"><rect width="6" height="6" fill="{CURRENT_COLOUR}" fill-opacity="0.35"/>'
        f'<line x1="0" y1="0" x2="0" y2="6" stroke="{CURRENT_COLOUR}" stroke-width="3"/></pattern></defs>'
    )
    body.insert(0, defs)
    rotate = len(shown) > 8
    for i, (full, short, r, c) in enumerate(shown):
        x = _LEFT + i * slot + slot * 0.12
        hr, hc = r / top * _PLOT_H, c / top * _PLOT_H
        tip = f"<title>{escape(full)}: reference {_pct(r)}, current {_pct(c)}</title>"
        body.append(
            f'<rect x="{_n(x)}" y="{_n(base - hr)}" width="{_n(bar)}" height="{_n(hr)}" fill="{REFERENCE_COLOUR}" '
            f'stroke="{REFERENCE_EDGE}">{tip}</rect>'
        )
        body.append(
            f'<rect x="{_n(x + bar)}" y="{_n(base - hc)}" width="{_n(bar)}" height="{_n(hc)}" fill="url(#{hatch})" '
            f'stroke="{CURRENT_COLOUR}">{tip}</rect>'
        )
        cx = _LEFT + (i + 0.5) * slot
        if rotate:
            body.append(
                f'<text x="{_n(cx)}" y="{_n(base + 12)}" text-anchor="end" '
                f'transform="rotate(-35 {_n(cx)} {_n(base + 12)})">{escape(short)}</text>'
            )
        else:
            body.append(f'<text x="{_n(cx)}" y="{_n(base + 17)}" text-anchor="middle">{escape(short)}</text>')
    body.append(f'<line x1="{_LEFT}" y1="{_n(base)}" x2="{_LEFT + _PLOT_W}" y2="{_n(base)}" class="axis"/>')
    body.append(
        f'<text x="{_n(_LEFT + _PLOT_W / 2)}" y="{_H - 4}" text-anchor="middle" class="axis-title">'
        f"{escape(column)} (reference labels)</text>"
    )
    body.insert(1, _legend(True, hatch))
    title = f"Bar chart of {column}: reference against current per label"
    return _frame(column, body, title)


def histogram_svg(h: Histogram, column: str, index: int) -> str:
    """The figure of one column; `index` keeps the ids of its patterns unique on the page."""
    if h.kind == "continuous":
        return _continuous(h, column, index)
    return _categorical(h, column, index)
