"""The model performance metrics against scikit-learn, an independent oracle: the
definitions coincide, the arithmetic does not (ours is 32-bit where the reports
are), so the comparison allows a float32 tolerance."""
import numpy as np
import pytest

import _tarvenn as t

metrics = pytest.importorskip("sklearn.metrics")

SEEDS = [0, 1, 2, 3]


def close(ours, theirs, rtol):
    assert ours == pytest.approx(theirs, rel=rtol, abs=1e-6)


@pytest.mark.parametrize("seed", SEEDS)
def test_classification_and_logistic_regression(seed):
    rng = np.random.default_rng(seed)
    y_true = (rng.random(5000) < rng.uniform(0.2, 0.8)).astype(np.float64)
    scores = np.clip(rng.beta(2, 2, 5000) * 0.6 + 0.4 * y_true * rng.random(5000), 0.001, 0.999)
    y_pred = (scores >= 0.5).astype(np.float64)
    expected = {
        "Accuracy": metrics.accuracy_score(y_true, y_pred),
        "BalancedAccuracy": metrics.balanced_accuracy_score(y_true, y_pred),
        "PrecisionPositive": metrics.precision_score(y_true, y_pred),
        "PrecisionNegative": metrics.precision_score(y_true, y_pred, pos_label=0),
        "RecallPositive": metrics.recall_score(y_true, y_pred),
        "RecallNegative": metrics.recall_score(y_true, y_pred, pos_label=0),
        "F1Score": metrics.f1_score(y_true, y_pred),
    }
    classification = t.py_model_perf_classification(y_true, y_pred)
    logistic = t.py_model_perf_logistic_regression(y_true, scores, 0.5)
    for name, value in expected.items():
        close(classification[name], value, 1e-6)
        close(logistic[name], value, 1e-6)
    close(logistic["LogLoss"], metrics.log_loss(y_true, scores), 1e-6)


@pytest.mark.parametrize("seed", SEEDS)
def test_linear_regression(seed):
    rng = np.random.default_rng(seed)
    y_true = rng.uniform(0.5, 20.0, 5000)
    y_pred = np.abs(y_true + rng.normal(0.0, 1.5, 5000))
    ours = t.py_model_perf_linear_regression(y_true, y_pred)
    mse = metrics.mean_squared_error(y_true, y_pred)
    msle = metrics.mean_squared_log_error(y_true, y_pred)
    expected = {
        "MeanSquaredError": mse,
        "RootMeanSquaredError": np.sqrt(mse),
        "MeanAbsoluteError": metrics.mean_absolute_error(y_true, y_pred),
        "RSquared": metrics.r2_score(y_true, y_pred),
        "MaxError": metrics.max_error(y_true, y_pred),
        "MeanSquaredLogError": msle,
        "RootMeanSquaredLogError": np.sqrt(msle),
        "MeanAbsolutePercentageError": metrics.mean_absolute_percentage_error(y_true, y_pred),
    }
    assert set(ours) == set(expected)
    for name, value in expected.items():
        close(ours[name], value, 1e-5)
