"""tarvenn: fairness, model-performance and data-drift metrics on the frames you already use.

`tarvenn.data_bias`, `model_bias`, `performance`, `drift` and `check` take a pandas, polars or
pyarrow frame (or a mapping of column name to array) and return typed, immutable results whose
numbers are those of the extension module `_tarvenn`. The module's streaming monitors and drift
detectors are re-exported here under their own names.
"""

from __future__ import annotations

from importlib.metadata import PackageNotFoundError, version

from _tarvenn import (
    PyBinaryClassificationStreaming,
    PyCategoricalDataDrift,
    PyContinuousDataDrift,
    PyDataBiasStreaming,
    PyLinearRegressionStreaming,
    PyLogisticRegressionStreaming,
    PyModelBiasStreaming,
    PyStreamingCategoricalDataDriftDecay,
    PyStreamingCategoricalDataDriftFlush,
    PyStreamingContinuousDataDriftDecay,
    PyStreamingContinuousDataDriftFlush,
)

from ._rules import Rule, at_least, at_most, equal_to, greater_than, less_than
from .front import DRIFT_MEASURES, METRICS, check, data_bias, drift, model_bias, performance
from .inputs import PreparedColumn, PreparedRows, prepare_drift_column, prepare_rows
from .results import CheckResult, DriftResult, DriftRow, MetricResult

try:
    __version__ = version("tarvenn")
except PackageNotFoundError:  # pragma: no cover - only when imported without being installed
    __version__ = "0+unknown"

__all__ = [
    "__version__",
    "data_bias",
    "model_bias",
    "performance",
    "drift",
    "check",
    "greater_than",
    "at_least",
    "less_than",
    "at_most",
    "equal_to",
    "Rule",
    "MetricResult",
    "CheckResult",
    "DriftResult",
    "DriftRow",
    "METRICS",
    "DRIFT_MEASURES",
    "prepare_rows",
    "prepare_drift_column",
    "PreparedRows",
    "PreparedColumn",
    "PyCategoricalDataDrift",
    "PyContinuousDataDrift",
    "PyStreamingContinuousDataDriftFlush",
    "PyStreamingContinuousDataDriftDecay",
    "PyStreamingCategoricalDataDriftFlush",
    "PyStreamingCategoricalDataDriftDecay",
    "PyDataBiasStreaming",
    "PyModelBiasStreaming",
    "PyBinaryClassificationStreaming",
    "PyLinearRegressionStreaming",
    "PyLogisticRegressionStreaming",
]
