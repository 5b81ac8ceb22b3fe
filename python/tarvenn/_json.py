"""Lossless JSON for results: finite floats as JSON numbers (shortest text that reads back to the
same bits, -0.0 included), NaN and the infinities as the strings "NaN", "Infinity", "-Infinity", so
that the text is standard JSON that any reader accepts."""

from __future__ import annotations

import json
import math
from typing import Any

_SPECIAL = {"NaN": math.nan, "Infinity": math.inf, "-Infinity": -math.inf}


def encode_float(x: float) -> float | str:
    if math.isnan(x):
        return "NaN"
    if math.isinf(x):
        return "Infinity" if x > 0 else "-Infinity"
    return x


def decode_float(x: Any, where: str) -> float:
    if isinstance(x, bool) or not isinstance(x, (int, float, str)):
        raise ValueError(f"{where}: expected a number, got {x!r}")
    if isinstance(x, str):
        if x not in _SPECIAL:
            raise ValueError(f"{where}: expected a number, got {x!r}")
        return _SPECIAL[x]
    return float(x)


def dumps(document: dict[str, Any]) -> str:
    return json.dumps(document, allow_nan=False, ensure_ascii=False)


def loads(text: str | bytes, expected_type: str) -> dict[str, Any]:
    document = json.loads(text)
    if not isinstance(document, dict) or document.get("type") != expected_type:
        raise ValueError(f"not a {expected_type} document")
    if document.get("version") != 1:
        raise ValueError(f"unsupported {expected_type} document version {document.get('version')!r}")
    return document


def field(document: dict[str, Any], key: str, kind: type | tuple[type, ...], expected_type: str) -> Any:
    if key not in document:
        raise ValueError(f"{expected_type} document lacks {key!r}")
    value = document[key]
    if not isinstance(value, kind) or isinstance(value, bool) and kind is int:
        raise ValueError(f"{expected_type} document: {key!r} has the wrong type")
    return value
