"""tarvenn.spark on a local[2] Spark session: every function equals the front on the same rows, bad
input fails as in the front, and a failing partition's error reaches the driver."""

import os
import shutil
import sys

import pytest

pyspark = pytest.importorskip("pyspark")
pytest.importorskip("pyarrow")
if shutil.which("java") is None:  # pragma: no cover - CI installs a headless JRE
    pytest.skip("Spark needs a Java runtime", allow_module_level=True)

import numpy as np  # noqa: E402
import pandas as pd  # noqa: E402
from pyspark.sql import SparkSession  # noqa: E402

import tarvenn  # noqa: E402
import tarvenn.spark as tspark  # noqa: E402

from scale_cases import CALLS, MEASURES, assert_same_drift, assert_same_result, frame  # noqa: E402

pytestmark = pytest.mark.integration


@pytest.fixture(scope="module")
def spark():
    # The Python workers must run this interpreter, which has tarvenn installed.
    os.environ["PYSPARK_PYTHON"] = sys.executable
    os.environ["PYSPARK_DRIVER_PYTHON"] = sys.executable
    session = (
        SparkSession.builder.master("local[2]")
        .appName("tarvenn-tests")
        .config("spark.sql.execution.arrow.pyspark.enabled", "true")
        .config("spark.sql.shuffle.partitions", "4")
        .config("spark.ui.enabled", "false")
        .config("spark.sql.execution.arrow.maxRecordsPerBatch", "2000")
        .getOrCreate()
    )
    session.sparkContext.setLogLevel("ERROR")
    yield session
    session.stop()


@pytest.fixture(scope="module")
def data():
    return frame(n=12_000)


@pytest.fixture(scope="module")
def sdf(spark, data):
    # Several partitions, each read as several Arrow batches.
    return spark.createDataFrame(data).repartition(3).cache()


# Spark jobs are slow to start: one plain value (three passes) and the rules (one pass) of each family.
SPARK_CALLS = [
    c for c in CALLS
    if c[0] in ("data_bias_continuous_float", "data_bias_rules", "model_bias_rules", "classification", "logistic",
                "regression")
]


@pytest.mark.parametrize("name,function,keywords", SPARK_CALLS, ids=[c[0] for c in SPARK_CALLS])
def test_every_function_equals_the_front(sdf, data, name, function, keywords):
    want = getattr(tarvenn, function)(data, **keywords)
    got = getattr(tspark, function)(sdf, **keywords)
    assert_same_result(got, want, name)


def test_drift_of_a_wide_frame_in_one_pass(spark, sdf, data):
    reference = frame(n=3_000, seed=11)
    columns = ["age", "income", "city", "flag"]
    want = tarvenn.drift(reference, data, columns=columns, measures=MEASURES)
    assert_same_drift(tspark.drift(reference, sdf, columns=columns, measures=MEASURES), want)
    want = tarvenn.drift(reference, data, columns=columns, bins="Sturges")
    got = tspark.drift(spark.createDataFrame(reference), sdf, columns=columns, bins="Sturges")
    assert_same_drift(got, want)


def test_empty_partitions_and_all_partitions_empty(sdf, data):
    some = sdf.where("row >= 6000").repartition(8, "group")  # four groups in eight partitions: some empty
    part = data[data["row"] >= 6000]
    want = tarvenn.performance(part, label="label", prediction="pred", task="classification")
    assert_same_result(tspark.performance(some, label="label", prediction="pred", task="classification"), want, "")
    none = sdf.where("row < 0")
    with pytest.raises(ValueError) as front:
        tarvenn.data_bias(data.iloc[:0], facet="group", label="label", facet_value=1)
    with pytest.raises(ValueError) as got:
        tspark.data_bias(none, facet="group", label="label", facet_value=1)
    assert str(got.value) == str(front.value)


def test_bad_input_and_a_failing_partition(sdf, data):
    for function, keywords in [
        ("data_bias", dict(facet="nope", label="label", facet_value=1)),
        ("performance", dict(label="city", prediction="pred", task="regression")),
    ]:
        with pytest.raises(Exception) as front:
            getattr(tarvenn, function)(data, **keywords)
        with pytest.raises(type(front.value)) as got:
            getattr(tspark, function)(sdf, **keywords)
        assert str(got.value) == str(front.value)
    # A number against a text column fails inside the module, in every partition: the lowest
    # partition's error is raised, with its type.
    with pytest.raises(Exception) as front:
        tarvenn.data_bias(data, facet="city", label="flag", facet_value=3, label_value=True)
    with pytest.raises(type(front.value)) as got:
        tspark.data_bias(sdf, facet="city", label="flag", facet_value=3, label_value=True)
    assert str(got.value) == f"partition 0: {front.value}"
    with pytest.raises(TypeError, match="Spark DataFrame"):
        tspark.data_bias(pd.DataFrame({"a": [1]}), facet="a", label="a", facet_value=1)
