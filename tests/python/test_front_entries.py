"""The front's numbers are the module's, bit for bit, on every input kind."""

import math

import numpy as np
import pandas as pd
import polars as pl
import pyarrow as pa
import pytest

import _tarvenn
import tarvenn

N = 600
_rng = np.random.default_rng(7)
COLUMNS = {
    "age": _rng.normal(45.0, 12.0, N),
    "group": _rng.integers(0, 3, N),
    "y": _rng.integers(0, 2, N),
    "pred": _rng.integers(0, 2, N),
    "score": _rng.random(N),
    "target": _rng.normal(3.0, 1.0, N),
    "city": _rng.choice(np.array(["north", "south", "east"], dtype=object), N),
    "flag": _rng.random(N) < 0.3,
}
KINDS = ["pandas", "polars", "polars_lazy", "pyarrow", "numpy_dict", "list_dict"]


def make(kind, columns=COLUMNS):
    if kind == "pandas":
        return pd.DataFrame(columns)
    if kind == "polars":
        return pl.DataFrame(columns)
    if kind == "polars_lazy":
        return pl.DataFrame(columns).lazy()
    if kind == "pyarrow":
        return pa.table(columns)
    if kind == "numpy_dict":
        return dict(columns)
    return {k: list(v.tolist()) for k, v in columns.items()}


def same(result, expected):
    """Every value equal to the module's bit for bit (NaN included), in the module's order."""
    assert list(result) == list(expected)
    for key, value in expected.items():
        assert np.float64(result[key]).tobytes() == np.float64(value).tobytes(), key


@pytest.mark.parametrize("kind", KINDS)
def test_every_entry_equals_the_module(kind):
    data = make(kind)
    c = COLUMNS
    r = tarvenn.data_bias(data, facet="age", label="y", facet_value=50.0)
    same(r, _tarvenn.py_data_bias_analyzer(c["age"], c["y"], 50.0, 1))
    assert (r.family, r.rows_used, r.rows_dropped) == ("data_bias", N, 0)
    same(
        tarvenn.data_bias(data, facet="city", label="flag", facet_value="north", label_value=True),
        _tarvenn.py_data_bias_analyzer(c["city"], c["flag"], "north", True),
    )
    m = tarvenn.model_bias(data, facet="group", label="y", prediction="pred", facet_value=2)
    same(m, _tarvenn.py_model_bias_analyzer(c["group"], c["y"], c["pred"], 2, 1, 1))
    assert m.family == "model_bias"
    same(
        tarvenn.performance(data, label="y", prediction="pred", task="classification"),
        _tarvenn.py_model_perf_classification(c["y"], c["pred"]),
    )
    same(
        tarvenn.performance(data, label="y", prediction="score", task="logistic", threshold=0.3),
        _tarvenn.py_model_perf_logistic_regression(c["y"], c["score"], 0.3),
    )
    same(
        tarvenn.performance(data, label="target", prediction="score", task="regression"),
        _tarvenn.py_model_perf_linear_regression(c["target"], c["score"]),
    )
    # A boolean label is read as 0 and 1.
    same(
        tarvenn.performance(data, label="flag", prediction="pred", task="classification"),
        _tarvenn.py_model_perf_classification(c["flag"].astype(np.int64), c["pred"]),
    )


@pytest.mark.parametrize("kind", KINDS)
def test_explicit_rules_go_through_explicit_segmentation(kind):
    data = make(kind)
    c = COLUMNS
    same(
        tarvenn.data_bias(data, facet="age", label="y", facet_value=tarvenn.at_most(40), label_value=tarvenn.greater_than(0.5)),
        _tarvenn.py_data_bias_analyzer_explicit_seg(c["age"], 40.0, None, "LessThanEqualTo", c["y"], 0.5, None, "GreaterThan"),
    )
    same(
        tarvenn.model_bias(
            data,
            facet="city",
            label="y",
            prediction="score",
            facet_value="south",  # a plain str beside rules means equal_to
            label_value=tarvenn.at_least(1),
            prediction_value=tarvenn.less_than(0.7),
        ),
        _tarvenn.py_model_bias_analyzer_explicit_seg(
            c["city"], None, "south", None, c["y"], 1.0, None, "GreaterThanEqualTo", c["score"], 0.7, None, "LessThan"
        ),
    )


@pytest.mark.parametrize("kind", KINDS)
def test_drift_rows_equal_the_one_shot_functions(kind):
    ref_cols = {k: v[:300] for k, v in COLUMNS.items()}
    cur_cols = {k: v[300:] for k, v in COLUMNS.items()}
    # current lists its columns in another order: rows follow it.
    cur_cols = dict(reversed(list(cur_cols.items())))
    result = tarvenn.drift(make(kind, ref_cols), make(kind, cur_cols), bins="Scott")
    assert [row.column for row in result] == list(cur_cols)
    measures = list(tarvenn.DRIFT_MEASURES)
    for name in cur_cols:
        row = result[name]
        if name in ("city", "flag"):
            ref = [str(x) for x in ref_cols[name].tolist()]
            cur = [str(x) for x in cur_cols[name].tolist()]
            expected = _tarvenn.py_compute_drift_categorical_distribtuion(ref, cur, measures)
            assert row.kind == "categorical" and row.bins == len(set(ref)) + 1
        else:
            ref = np.asarray(ref_cols[name], dtype=np.float64)
            cur = np.asarray(cur_cols[name], dtype=np.float64)
            expected = _tarvenn.py_compute_drift_continuous_distribtuion(ref, cur, measures, "Scott")
            assert row.kind == "continuous"
            assert row.bins == _tarvenn.PyContinuousDataDrift(ref, "Scott").num_bins
        assert [np.float64(v).tobytes() for v in row.measures.values()] == [np.float64(v).tobytes() for v in expected]
        assert (row.missing_reference, row.missing_current) == (0.0, 0.0)


def test_nulls_are_dropped_and_counted_the_same_in_every_library():
    age = [30.0, None, 50.0, 61.0, 45.0, 70.0, None, 22.0]
    y = [1, 0, None, 1, 0, 1, 1, 0]
    keep = [0, 3, 4, 5, 7]
    expected = _tarvenn.py_data_bias_analyzer(
        np.array([age[i] for i in keep]), np.array([y[i] for i in keep]), 50.0, 1
    )
    frames = {
        "pandas": pd.DataFrame({"age": age, "y": pd.array(y, dtype="Int64")}),
        "polars": pl.DataFrame({"age": age, "y": y}),
        "pyarrow": pa.table({"age": age, "y": y}),
        "lists": {"age": age, "y": y},
    }
    for name, frame in frames.items():
        r = tarvenn.data_bias(frame, facet="age", label="y", facet_value=50.0)
        assert (r.rows_used, r.rows_dropped) == (5, 3), name
        same(r, expected)


def test_nan_is_a_value_for_bias_except_where_the_library_calls_it_null():
    age = np.array([30.0, math.nan, 50.0, 61.0, 45.0, 70.0])
    y = np.array([1, 0, 0, 1, 0, 1])
    with_nan = _tarvenn.py_data_bias_analyzer(age, y, 50.0, 1)
    r = tarvenn.data_bias(pl.DataFrame({"age": age, "y": y}), facet="age", label="y", facet_value=50.0)
    assert r.rows_dropped == 0
    same(r, with_nan)
    same(tarvenn.data_bias({"age": age, "y": y}, facet="age", label="y", facet_value=50.0), with_nan)
    # pandas stores its null in a float column as NaN.
    r = tarvenn.data_bias(pd.DataFrame({"age": age, "y": y}), facet="age", label="y", facet_value=50.0)
    assert (r.rows_used, r.rows_dropped) == (5, 1)
    same(r, _tarvenn.py_data_bias_analyzer(age[~np.isnan(age)], y[~np.isnan(age)], 50.0, 1))


def test_drift_reports_missing_shares_and_computes_on_present_values():
    ref = {"x": [1.0, 2.0, None, 4.0, 5.0, 6.0, 7.0, 8.0], "c": ["a", "b", None, "a", "b", "a", "a", "b"]}
    cur = pl.DataFrame({"x": [2.0, math.nan, 3.0, None], "c": ["a", "a", "c", None]})
    result = tarvenn.drift(ref, cur, measures=["JensenShannon"])
    x, c = result["x"], result["c"]
    assert (x.missing_reference, x.missing_current) == (1 / 8, 2 / 4)
    assert (c.missing_reference, c.missing_current) == (1 / 8, 1 / 4)
    assert x.measures["JensenShannon"] == _tarvenn.py_compute_drift_continuous_distribtuion(
        np.array([1.0, 2.0, 4.0, 5.0, 6.0, 7.0, 8.0]), np.array([2.0, 3.0]), ["JensenShannon"], None
    )[0]
    assert c.measures["JensenShannon"] == _tarvenn.py_compute_drift_categorical_distribtuion(
        ["a", "b", "a", "b", "a", "a", "b"], ["a", "a", "c"], ["JensenShannon"]
    )[0]


def test_numeric_columns_reach_the_module_without_a_copy():
    a = np.arange(1000, dtype=np.float64)
    b = np.arange(1000) % 2
    for frame in (pl.DataFrame({"a": a, "b": b}), pa.table({"a": a, "b": b}), {"a": a, "b": b}):
        prepared = tarvenn.prepare_rows(frame, ["a", "b"])
        assert np.shares_memory(prepared.arrays["a"], a) and np.shares_memory(prepared.arrays["b"], b)
    df = pd.DataFrame({"a": a, "b": b})
    prepared = tarvenn.prepare_rows(df, ["a", "b"])
    assert np.shares_memory(prepared.arrays["a"], df["a"].to_numpy())


class TestErrorsNameTheColumn:
    def test_missing_column_lists_the_columns(self):
        with pytest.raises(KeyError, match=r"'agee' is not in data; its columns are \['age', 'y'\]"):
            tarvenn.data_bias({"age": [1.0, 2.0], "y": [0, 1]}, facet="agee", label="y", facet_value=1.0)

    def test_text_column_for_performance(self):
        with pytest.raises(TypeError, match="'city' holds text"):
            tarvenn.performance(make("polars"), label="y", prediction="city", task="classification")

    def test_unusable_dtype(self):
        frame = pl.DataFrame({"d": pl.Series([1, 2]).cast(pl.Datetime), "y": [0, 1]})
        with pytest.raises(TypeError, match="column 'd' of data has type Datetime"):
            tarvenn.data_bias(frame, facet="d", label="y", facet_value=1)

    def test_rule_kind_mismatch_and_plain_number_beside_a_rule(self):
        with pytest.raises(TypeError, match="column 'city' holds text"):
            tarvenn.data_bias(make("pandas"), facet="city", label="y", facet_value=tarvenn.at_least(1))
        with pytest.raises(TypeError, match="column 'age' is numeric"):
            tarvenn.data_bias(make("pandas"), facet="age", label="y", facet_value=tarvenn.equal_to("x"))
        with pytest.raises(TypeError, match="label_value=1 cannot be combined with a rule for facet_value"):
            tarvenn.data_bias(make("pandas"), facet="age", label="y", facet_value=tarvenn.at_least(1))

    def test_no_shared_column_and_unequal_lengths(self):
        with pytest.raises(ValueError, match="share no column"):
            tarvenn.drift({"a": [1.0, 2.0]}, {"b": [1.0, 2.0]})
        with pytest.raises(ValueError, match=r"differ in length: \{'a': 2, 'b': 3\}"):
            tarvenn.drift({"a": [1.0, 2.0], "b": [1.0, 2.0, 3.0]}, {"a": [1.0]})

    def test_empty_after_dropping(self):
        with pytest.raises(ValueError, match="column 'x' of current has no present values"):
            tarvenn.drift({"x": [1.0, 2.0, 3.0]}, {"x": [None, math.nan]})
        with pytest.raises(ValueError, match="no rows of data are left"):
            tarvenn.data_bias({"a": [None, 1.0], "y": [1, None]}, facet="a", label="y", facet_value=1.0)

    def test_kind_differs_between_reference_and_current(self):
        with pytest.raises(TypeError, match="'x' is continuous in reference but categorical in current"):
            tarvenn.drift({"x": [1.0, 2.0, 3.0]}, {"x": ["a"]})

    def test_module_errors_pass_through_unchanged(self):
        with pytest.raises(TypeError, match="^Data passed in is of hetergeneous types$"):
            tarvenn.data_bias(make("polars"), facet="age", label="y", facet_value="old")
        with pytest.raises(ValueError, match="^No deviation in behavior between facets$"):
            tarvenn.data_bias({"a": [1, 1, 1], "y": [0, 1, 0]}, facet="a", label="y", facet_value=1)
        with pytest.raises(ValueError, match="^Unsupported drift type$"):
            tarvenn.drift(make("polars"), make("polars"), measures=["JS"])


def test_text_in_every_storage_gives_the_same_numbers():
    city = COLUMNS["city"]
    y = COLUMNS["y"]
    expected_bias = _tarvenn.py_data_bias_analyzer(city, y, "east", 1)
    ref, cur = city[:300].tolist(), city[300:].tolist()
    expected_drift = _tarvenn.py_compute_drift_categorical_distribtuion(ref, cur, list(tarvenn.DRIFT_MEASURES))
    stores = {
        "pandas object": lambda v: pd.Series(v, dtype=object),
        "pandas string": lambda v: pd.Series(v, dtype="string"),
        "pandas category": lambda v: pd.Series(v, dtype="category"),
        "polars categorical": lambda v: pl.Series(v, dtype=pl.Categorical),
        "polars enum": lambda v: pl.Series(v, dtype=pl.Enum(["north", "south", "east"])),
        "pyarrow dictionary": lambda v: pa.chunked_array([pa.array(v[:100]).dictionary_encode(), pa.array(v[100:]).dictionary_encode()]),
        "pyarrow chunked": lambda v: pa.chunked_array([v[:100], v[100:]]),
    }
    for name, store in stores.items():
        def frame(values, labels):
            column = store(values)
            if isinstance(column, pd.Series):
                return pd.DataFrame({"city": column, "y": labels})
            if isinstance(column, pl.Series):
                return pl.DataFrame({"city": column, "y": labels})
            return pa.table({"city": column, "y": labels})

        same(tarvenn.data_bias(frame(city.tolist(), y), facet="city", label="y", facet_value="east"), expected_bias)
        row = tarvenn.drift(frame(ref, y[:300]), frame(cur, y[300:]), columns=["city"])["city"]
        assert row.kind == "categorical", name
        assert list(row.measures.values()) == expected_drift, name


def test_a_lazy_frame_is_collected_with_the_used_columns_only():
    lazy = pl.LazyFrame({"a": [1.0, 2.0, 3.0, 4.0], "y": [0, 1, 0, 1], "other": ["x", "y", "z", "w"]})
    prepared = tarvenn.prepare_rows(lazy, ["a", "y"])
    assert list(prepared.arrays) == ["a", "y"] and prepared.rows_used == 4
    with pytest.raises(KeyError, match=r"its columns are \['a', 'y', 'other'\]"):
        tarvenn.prepare_rows(lazy, ["a", "nope"])
