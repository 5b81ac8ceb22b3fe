"""Explicit segmentation rules: which rows form the facet, the positive label or the positive prediction.

A rule is handed to the module's explicit-segmentation functions as the triple they take
(threshold, label, threshold type); nothing here labels rows itself.
"""

from __future__ import annotations

import math
from dataclasses import dataclass
from typing import Union

__all__ = ["Rule", "greater_than", "at_least", "less_than", "at_most", "equal_to", "Value"]


@dataclass(frozen=True)
class Rule:
    """A row belongs to the group when its value passes `comparison` against `operand`.

    `comparison` is one of the module's threshold types ("GreaterThan", "GreaterThanEqualTo",
    "LessThan", "LessThanEqualTo") for a numeric threshold, or "EqualTo" for a text label.
    """

    comparison: str
    operand: float | str

    @property
    def numeric(self) -> bool:
        return self.comparison != "EqualTo"

    def explicit_arguments(self) -> tuple[float | None, str | None, str | None]:
        """The (threshold, label, threshold type) triple of the explicit-segmentation functions."""
        if self.comparison == "EqualTo":
            assert isinstance(self.operand, str)
            return None, self.operand, None
        assert isinstance(self.operand, float)
        return self.operand, None, self.comparison

    def __repr__(self) -> str:
        names = {
            "GreaterThan": "greater_than",
            "GreaterThanEqualTo": "at_least",
            "LessThan": "less_than",
            "LessThanEqualTo": "at_most",
            "EqualTo": "equal_to",
        }
        return f"tarvenn.{names[self.comparison]}({self.operand!r})"


def _threshold(name: str, x: float) -> float:
    if isinstance(x, (str, bytes)) or not isinstance(x, (int, float)) and not hasattr(x, "__float__"):
        raise TypeError(f"{name}() takes a number, got {type(x).__name__}")
    value = float(x)
    if math.isnan(value):
        raise ValueError(f"{name}() takes a number, got NaN (no row would ever pass it)")
    return value


def greater_than(x: float) -> Rule:
    """Rows whose value is greater than `x`."""
    return Rule("GreaterThan", _threshold("greater_than", x))


def at_least(x: float) -> Rule:
    """Rows whose value is greater than or equal to `x`."""
    return Rule("GreaterThanEqualTo", _threshold("at_least", x))


def less_than(x: float) -> Rule:
    """Rows whose value is less than `x`."""
    return Rule("LessThan", _threshold("less_than", x))


def at_most(x: float) -> Rule:
    """Rows whose value is less than or equal to `x`."""
    return Rule("LessThanEqualTo", _threshold("at_most", x))


def equal_to(label: str) -> Rule:
    """Rows of a text column equal to `label`, byte for byte."""
    if not isinstance(label, str):
        raise TypeError(
            f"equal_to() takes a text label, got {type(label).__name__}; for a numeric column "
            "pass the value itself or a threshold rule (greater_than, at_least, less_than, at_most)"
        )
    return Rule("EqualTo", label)


# What facet_value, label_value and prediction_value accept: a rule, or a plain value that the
# module's own label-or-threshold rule interprets.
Value = Union[Rule, str, int, float, bool]
