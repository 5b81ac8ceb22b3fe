"""Command-line values typed by their column: numbers, booleans, text, and the rules."""

from __future__ import annotations

import pytest

import tarvenn
from tarvenn._cli_values import parse_value
from tarvenn._files import InputError


@pytest.mark.parametrize(
    ("text", "kind", "expected"),
    [
        (">=60", "numeric", tarvenn.at_least(60)),
        (">60.5", "numeric", tarvenn.greater_than(60.5)),
        ("<= -1e3", "numeric", tarvenn.at_most(-1000)),
        ("<0", "numeric", tarvenn.less_than(0)),
        ("=female", "text", tarvenn.equal_to("female")),
        ("==x", "text", tarvenn.equal_to("=x")),  # only the first sign is the rule
        ("60", "numeric", 60),
        ("60.0", "numeric", 60.0),
        ("female", "text", "female"),
        ("60", "text", "60"),
        ("True", "boolean", True),
        ("0", "boolean", False),
    ],
)
def test_values_are_typed_by_the_column(text: str, kind: str, expected: object):
    value = parse_value("--facet-value", text, "col", kind)
    assert value == expected and type(value) is type(expected)


@pytest.mark.parametrize(
    ("text", "kind"),
    [(">=x", "numeric"), ("abc", "numeric"), ("nan", "numeric"), (">=nan", "numeric"), (">1", "text"),
     ("=a", "numeric"), (">1", "boolean"), ("maybe", "boolean")],
)
def test_values_that_do_not_fit_the_column(text: str, kind: str):
    with pytest.raises(InputError, match="--facet-value"):
        parse_value("--facet-value", text, "col", kind)
