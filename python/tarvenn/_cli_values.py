"""Values given on the command line, typed by the column they select.

`'>=60'`, `'>60'`, `'<=60'`, `'<60'` are threshold rules and `'=female'` a text label rule (they go
through the module's explicit segmentation); any other text is a plain value, turned into a number
for a numeric column, a bool for a boolean one and kept as text for a text column (the module's own
label-or-threshold rule then applies).
"""

from __future__ import annotations

import math
from typing import Any

from ._files import InputError, arrow_module
from ._rules import Rule, Value, at_least, at_most, equal_to, greater_than, less_than

__all__ = ["column_kind", "parse_value"]

_COMPARISONS = ((">=", at_least), ("<=", at_most), (">", greater_than), ("<", less_than))
_TRUE = {"true", "1", "yes"}
_FALSE = {"false", "0", "no"}


def column_kind(arrow_type: Any) -> str:
    """"numeric", "boolean" or "text" for a pyarrow type (anything else is "other")."""
    pt = arrow_module("pyarrow.types")

    if pt.is_dictionary(arrow_type):
        return "text"
    if pt.is_boolean(arrow_type):
        return "boolean"
    if pt.is_integer(arrow_type) or pt.is_floating(arrow_type):
        return "numeric"
    if pt.is_string(arrow_type) or pt.is_large_string(arrow_type):
        return "text"
    if hasattr(pt, "is_string_view") and pt.is_string_view(arrow_type):
        return "text"
    return "other"


def _number(option: str, text: str, column: str, number: str | None = None) -> float:
    """`number` (the part of `text` after a comparison sign, or all of it) as a float."""
    try:
        value = float(text if number is None else number)
    except ValueError:
        raise InputError(f"{option} {text!r}: column {column!r} is numeric, so the value must be a number") from None
    if math.isnan(value):
        raise InputError(f"{option} {text!r}: NaN selects no row; give a number")
    return value


def parse_value(option: str, text: str, column: str, kind: str) -> Value:
    """The value or rule that `text` means for `column` of kind `kind` ("numeric", "boolean", "text")."""
    stripped = text.strip()
    for prefix, make in _COMPARISONS:
        if stripped.startswith(prefix):
            if kind == "text":
                raise InputError(
                    f"{option} {text!r}: column {column!r} holds text, so it takes '=LABEL' or a plain label, "
                    "not a comparison"
                )
            if kind == "boolean":
                raise InputError(f"{option} {text!r}: column {column!r} is boolean; give true or false")
            return make(_number(option, text, column, stripped[len(prefix):].strip()))
    if stripped.startswith("="):
        label = text.split("=", 1)[1]
        if kind != "text":
            raise InputError(
                f"{option} {text!r}: '=LABEL' selects a text label, but column {column!r} is {kind}; "
                "give a plain value or a comparison such as '>=60'"
            )
        return equal_to(label)
    if kind == "numeric":
        try:
            return int(stripped)
        except ValueError:
            return _number(option, stripped, column)
    if kind == "boolean":
        low = stripped.lower()
        if low in _TRUE:
            return True
        if low in _FALSE:
            return False
        raise InputError(f"{option} {text!r}: column {column!r} is boolean; give true or false")
    return text


def is_rule(value: Value) -> bool:
    return isinstance(value, Rule)
