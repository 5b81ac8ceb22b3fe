"""tarvenn.dask on a local cluster of two worker processes: every function equals the front on the
same rows, bad input fails as in the front, and a failing partition's error reaches the client."""

import pytest

pytest.importorskip("dask.dataframe")
distributed = pytest.importorskip("distributed")

import math  # noqa: E402
import pickle  # noqa: E402

import _tarvenn as T  # noqa: E402
import dask  # noqa: E402
import dask.dataframe as dd  # noqa: E402
import numpy as np  # noqa: E402
import pandas as pd  # noqa: E402

import tarvenn  # noqa: E402
import tarvenn.dask as tdask  # noqa: E402

from scale_cases import CALLS, MEASURES, assert_same_drift, assert_same_result, frame  # noqa: E402

pytestmark = pytest.mark.integration


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=2, processes=True, dashboard_address=None) as cluster:
        with distributed.Client(cluster) as c:
            yield c


@pytest.fixture(scope="module")
def data():
    return frame()


@pytest.mark.parametrize("name,function,keywords", CALLS, ids=[c[0] for c in CALLS])
def test_every_function_equals_the_front(client, data, name, function, keywords):
    want = getattr(tarvenn, function)(data, **keywords)
    got = getattr(tdask, function)(dd.from_pandas(data, npartitions=7), **keywords)
    assert_same_result(got, want, name)


def test_continuity_is_decided_on_the_whole_column(client):
    # 4,000 rows: 201 distinct values make a column continuous. Every partition alone has fewer,
    # so a per-partition decision would be discrete; the whole column is continuous.
    n = 4_000
    values = np.resize(np.arange(201, dtype=np.float64), n)
    data = pd.DataFrame({"x": values, "label": np.arange(n) % 2})
    ddf = dd.from_pandas(data, npartitions=12)
    for value in (150.0, 150):
        want = tarvenn.data_bias(data, facet="x", label="label", facet_value=value)
        assert_same_result(tdask.data_bias(ddf, facet="x", label="label", facet_value=value), want, "")
    below = data.iloc[: n - 1].copy()
    below["x"] = np.resize(np.arange(200, dtype=np.float64), n - 1)  # 200 distinct: discrete
    want = tarvenn.data_bias(below, facet="x", label="label", facet_value=150.0)
    assert_same_result(tdask.data_bias(dd.from_pandas(below, npartitions=9), facet="x", label="label",
                                       facet_value=150.0), want, "")


def test_drift_of_a_wide_frame_in_one_pass(client, data):
    reference = frame(n=5_000, seed=11)
    columns = ["age", "income", "city", "flag", "score"]
    want = tarvenn.drift(reference, data, columns=columns, measures=MEASURES)
    current = dd.from_pandas(data, npartitions=6)
    assert_same_drift(tdask.drift(reference, current, columns=columns, measures=MEASURES), want)
    # A distributed reference is collected once; the default columns are the shared ones.
    want = tarvenn.drift(reference, data, bins="Scott")
    got = tdask.drift(dd.from_pandas(reference, npartitions=3), current, bins="Scott")
    assert_same_drift(got, want)


def test_drift_from_saved_detectors(client, data):
    reference = frame(n=5_000, seed=11)
    detectors = {}
    for name, make in (("age", lambda v: T.PyContinuousDataDrift(v, "Scott")), ("city", T.PyCategoricalDataDrift)):
        values = tarvenn.prepare_drift_column(reference, name).values
        detectors[name] = pickle.loads(pickle.dumps(make(values)))  # saved and loaded again
    want = tarvenn.drift(reference, data, columns=["age", "city"], bins="Scott")
    got = tdask.drift(detectors, dd.from_pandas(data, npartitions=4))
    assert got.columns == ["age", "city"]
    for g, w in zip(got, want):
        assert (g.kind, g.bins, dict(g.measures), g.missing_current) == (w.kind, w.bins, dict(w.measures),
                                                                        w.missing_current)
        assert math.isnan(g.missing_reference)


def test_empty_partitions_and_all_partitions_empty(client, data):
    ddf = dd.from_pandas(data, npartitions=8)
    some_empty = ddf[ddf["row"] >= 9_000]  # the first partitions hold no row
    part = data[data["row"] >= 9_000]
    for name, function, keywords in CALLS[:2] + CALLS[8:9]:
        want = getattr(tarvenn, function)(part, **keywords)
        assert_same_result(getattr(tdask, function)(some_empty, **keywords), want, name)
    none = ddf[ddf["row"] < 0]
    with pytest.raises(ValueError) as front:
        tarvenn.data_bias(data.iloc[:0], facet="group", label="label", facet_value=1)
    with pytest.raises(ValueError) as got:
        tdask.data_bias(none, facet="group", label="label", facet_value=1)
    assert str(got.value) == str(front.value)
    with pytest.raises(ValueError, match="no present values"):
        tdask.drift(data, none, columns=["age"])


def test_bad_input_fails_as_in_the_front_before_any_partition_runs(client, data):
    ddf = dd.from_pandas(data, npartitions=3)
    cases = [
        ("data_bias", dict(facet="nope", label="label", facet_value=1)),
        ("data_bias", dict(facet="city", label="label", facet_value=tarvenn.at_least(1.0))),
        ("performance", dict(label="city", prediction="pred", task="classification")),
        ("performance", dict(label="label", prediction="pred", task="ranking")),
        ("model_bias", dict(facet="group", label="label", prediction="pred", facet_value=[1])),
    ]
    for function, keywords in cases:
        with pytest.raises(Exception) as front:
            getattr(tarvenn, function)(data, **keywords)
        with pytest.raises(type(front.value)) as got:
            getattr(tdask, function)(ddf, **keywords)
        assert str(got.value) == str(front.value)
    with pytest.raises(ValueError, match="Unsupported drift type"):
        tdask.drift(data, ddf, measures=["Nope"])
    with pytest.raises(TypeError, match="Dask DataFrame"):
        tdask.data_bias(data, facet="group", label="label", facet_value=1)


def test_a_failing_partition_raises_its_error_on_the_client(client, data):
    good = data.iloc[:1000]
    bad = data.iloc[1000:2000].assign(label=lambda d: d["label"].astype(str).astype(object))
    parts = [dask.delayed(lambda f: f)(p) for p in (good, good, bad, good)]
    ddf = dd.from_delayed(parts, meta=good, verify_meta=False)
    with pytest.raises(TypeError) as front:
        tarvenn.performance(bad, label="label", prediction="pred", task="classification")
    with pytest.raises(TypeError) as got:
        tdask.performance(ddf, label="label", prediction="pred", task="classification")
    assert str(got.value) == f"partition 2: {front.value}"
