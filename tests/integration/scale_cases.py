"""Data and calls shared by the Dask and Spark tests: every call is made on the whole pandas frame
through the front and on the distributed frame through tarvenn.dask or tarvenn.spark."""

import math

import numpy as np
import pandas as pd

import tarvenn

MEASURES = ["JensenShannon", "PopulationStabilityIndex", "WassersteinDistance", "KullbackLeibler"]


def frame(n=24_000, seed=7):
    rng = np.random.default_rng(seed)
    label = rng.integers(0, 2, n)
    score = np.clip(label * 0.3 + rng.random(n) * 0.7, 0.0, 1.0)
    age = rng.normal(40, 12, n)
    age[rng.random(n) < 0.01] = np.nan  # missing rows the front drops
    y = rng.normal(50, 10, n)
    return pd.DataFrame(
        {
            "age": age,
            "group": rng.integers(0, 4, n),
            "income": rng.integers(0, 200_000, n),
            "city": np.array(["oslo", "bergen", "tromsø"], dtype=object)[rng.integers(0, 3, n)],
            "flag": rng.random(n) < 0.4,
            "label": label,
            "pred": (score >= 0.5).astype(np.int64),
            "score": score,
            "y": y,
            "yhat": y + rng.normal(0, 2, n),
            "row": np.arange(n),
        }
    )


# (name, function name, keywords). Plain values on numeric columns take the continuity decision.
CALLS = [
    ("data_bias_discrete_int", "data_bias", dict(facet="group", label="label", facet_value=2)),
    ("data_bias_continuous_float", "data_bias", dict(facet="age", label="label", facet_value=45.0)),
    ("data_bias_continuous_int", "data_bias", dict(facet="income", label="label", facet_value=100_000)),
    ("data_bias_text", "data_bias", dict(facet="city", label="label", facet_value="bergen")),
    ("data_bias_bool", "data_bias", dict(facet="flag", label="label", facet_value=True)),
    ("data_bias_rules", "data_bias",
     dict(facet="age", label="score", facet_value=tarvenn.at_least(40.0), label_value=tarvenn.greater_than(0.5))),
    ("model_bias_plain", "model_bias", dict(facet="group", label="label", prediction="pred", facet_value=1)),
    ("model_bias_rules", "model_bias",
     dict(facet="city", label="label", prediction="score", facet_value=tarvenn.equal_to("oslo"),
          label_value=tarvenn.at_least(1.0), prediction_value=tarvenn.greater_than(0.5))),
    ("classification", "performance", dict(label="label", prediction="pred", task="classification")),
    ("logistic", "performance", dict(label="label", prediction="score", task="logistic", threshold=0.5)),
    ("regression", "performance", dict(label="y", prediction="yhat", task="regression")),
]

# Metrics whose value comes from a float sum merged across partitions.
SUMMED = {"logistic": {"LogLoss"}, "regression": {"RootMeanSquaredError", "MeanSquaredError", "MeanAbsoluteError",
                                                    "RSquared", "MeanSquaredLogError", "RootMeanSquaredLogError",
                                                    "MeanAbsolutePercentageError"}}


def assert_same_result(got, want, name):
    assert got.family == want.family
    assert (got.rows_used, got.rows_dropped) == (want.rows_used, want.rows_dropped)
    assert list(got) == list(want)
    for metric in want:
        a, b = got[metric], want[metric]
        if math.isnan(b):
            assert math.isnan(a), metric
        elif metric in SUMMED.get(name, ()):
            # 64-bit sums added in another order, then narrowed to 32 bits: a step at most.
            assert abs(a - b) <= 2 * abs(float(np.spacing(np.float32(b)))), metric
        else:
            assert np.float32(a).tobytes() == np.float32(b).tobytes(), metric


def assert_same_drift(got, want):
    assert got.columns == want.columns
    for g, w in zip(got, want):
        assert (g.kind, g.bins, g.missing_reference, g.missing_current) == (w.kind, w.bins, w.missing_reference,
                                                                           w.missing_current)
        assert dict(g.measures) == dict(w.measures)
