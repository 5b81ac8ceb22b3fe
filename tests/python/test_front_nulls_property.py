"""Dropping rows with nulls: on random columns with random holes, every library gives the module's
result on the rows that are complete (or the module's own exception), and counts the rest."""

import numpy as np
import pandas as pd
import polars as pl
import pyarrow as pa
from hypothesis import given, settings
from hypothesis import strategies as st

import _tarvenn
import tarvenn

columns = st.integers(min_value=1, max_value=30).flatmap(
    lambda n: st.tuples(
        st.lists(st.one_of(st.none(), st.floats(-5, 5, allow_nan=False)), min_size=n, max_size=n),
        st.lists(st.one_of(st.none(), st.sampled_from(["a", "b", "c"])), min_size=n, max_size=n),
        st.lists(st.one_of(st.none(), st.integers(0, 1)), min_size=n, max_size=n),
    )
)


def outcome(fn):
    try:
        result = fn()
    except (ValueError, TypeError) as error:
        return type(error).__name__, str(error)
    counts = (result.rows_used, result.rows_dropped) if isinstance(result, tarvenn.MetricResult) else None
    return counts, {k: np.float64(v).tobytes() for k, v in result.items()}


def expected(fn, used, n, *cols):
    keep = [i for i in range(n) if all(c[i] is not None for c in cols)]
    if not keep:
        return None
    arrays = [np.array([c[i] for i in keep], dtype=object if isinstance(c[keep[0]], str) else None) for c in cols]
    kind, values = outcome(lambda: fn(*arrays))
    return ((len(keep), n - len(keep)) if kind is None else kind), values


@settings(max_examples=60, deadline=None)
@given(columns)
def test_front_equals_module_on_complete_rows(data):
    x, s, y = data
    n = len(x)
    frames = {
        "pandas": pd.DataFrame({"x": pd.array(x, dtype="Float64"), "s": s, "y": pd.array(y, dtype="Int64")}),
        "polars": pl.DataFrame({"x": x, "s": s, "y": y}, schema={"x": pl.Float64, "s": pl.String, "y": pl.Int64}),
        "pyarrow": pa.table({"x": pa.array(x, pa.float64()), "s": pa.array(s, pa.string()), "y": pa.array(y, pa.int64())}),
        "lists": {"x": x, "s": s, "y": y},
    }
    bias = expected(lambda f, g: _tarvenn.py_data_bias_analyzer(f, g, "a", 1), ["s", "y"], n, s, y)
    regression = expected(_tarvenn.py_model_perf_linear_regression, ["x", "y"], n, x, y)
    for name, frame in frames.items():
        got = outcome(lambda: tarvenn.data_bias(frame, facet="s", label="y", facet_value="a"))
        if bias is None:
            assert got[0] == "ValueError" and "no rows of data are left" in got[1], name
        else:
            assert got == bias, name
        got = outcome(lambda: tarvenn.performance(frame, label="x", prediction="y", task="regression"))
        if regression is None:
            assert got[0] == "ValueError" and "no rows of data are left" in got[1], name
        else:
            assert got == regression, name
