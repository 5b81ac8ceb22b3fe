"""Every batch entry against its fastest vectorised NumPy equivalent and against the
floor (one a.sum() per input array), in one run. Prints figures; not a test.

    python3 bench/bench_vs_numpy.py [n]

Columns: module time, NumPy time, NumPy / module (above 1 the module wins), and
module / floor (1 is one pass over the inputs at memory bandwidth).
"""
import sys

import numpy as np

import _tarvenn as t
from _common import best_of
from bench_data_bias import numpy_data_bias, numpy_with_heuristic
from bench_model_perf import numpy_classification, numpy_logistic, numpy_regression

N = int(sys.argv[1]) if len(sys.argv) > 1 else 10_000_000
REPEAT = 5


def floor(*arrays):
    return best_of(lambda: [a.sum() for a in arrays], REPEAT)


def row(name, module, numpy_fn, arrays):
    m = best_of(module, REPEAT)
    n = best_of(numpy_fn, REPEAT)
    f = floor(*arrays)
    print(f"{name:<52} {m * 1e3:9.1f} ms {n * 1e3:9.1f} ms {n / m:7.2f}x {m / f:7.2f}")


def main():
    rng = np.random.default_rng(0)
    feature = rng.normal(size=N)
    truth = rng.integers(0, 2, N).astype(np.int64)
    pred = rng.integers(0, 2, N).astype(np.int64)
    f8, g8 = rng.integers(0, 2, N).astype(np.int8), rng.integers(0, 2, N).astype(np.int8)
    y32, p32 = rng.integers(0, 2, N).astype(np.float32), rng.uniform(0, 1, N).astype(np.float32)
    r_true, r_pred = rng.uniform(0.5, 3, N).astype(np.float32), rng.uniform(0.5, 3, N).astype(np.float32)
    base = rng.normal(size=100_000)

    print(f"n = {N:,}; {'entry':<47} {'module':>12} {'NumPy':>12} {'ratio':>8} {'/floor':>7}")
    row("py_data_bias_analyzer (float64, int64)", lambda: t.py_data_bias_analyzer(feature, truth, 0.0, 1),
        lambda: numpy_with_heuristic(feature, truth, 0.0), (feature, truth))
    row("py_model_bias_analyzer (float64, int64, int64)",
        lambda: t.py_model_bias_analyzer(feature, truth, pred, 0.0, 1, 1),
        lambda: (numpy_with_heuristic(feature, truth, 0.0), numpy_classification(truth, pred)),
        (feature, truth, pred))
    row("py_data_bias_analyzer_explicit_seg (float64 >, int64 >)",
        lambda: t.py_data_bias_analyzer_explicit_seg(feature, 0.0, None, "GreaterThan", truth, 0.5, None,
                                                     "GreaterThan"),
        lambda: numpy_data_bias(feature, truth, 0.0), (feature, truth))
    row("py_model_bias_analyzer_explicit_seg (float64 >, int64 >)",
        lambda: t.py_model_bias_analyzer_explicit_seg(feature, 0.0, None, "GreaterThan", truth, 0.5, None,
                                                      "GreaterThan", pred, 0.5, None, "GreaterThan"),
        lambda: (numpy_data_bias(feature, truth, 0.0), numpy_classification(truth, pred)), (feature, truth, pred))
    row("py_model_perf_classification (int64)", lambda: t.py_model_perf_classification(truth, pred),
        lambda: numpy_classification(truth, pred), (truth, pred))
    bias = t.PyDataBiasStreaming(list(f8[:10]), list(g8[:10]))
    row("PyDataBiasStreaming.push_batch (int8)", lambda: bias.push_batch(f8, g8),
        lambda: numpy_classification(f8, g8), (f8, g8))
    h8 = rng.integers(0, 2, N).astype(np.int8)
    model_bias = t.PyModelBiasStreaming([1] * 8 + [0] * 8, [1, 1, 0, 0] * 4, [1, 0, 1, 0] * 4)
    row("PyModelBiasStreaming.push_batch (int8)", lambda: model_bias.push_batch(f8, g8, h8),
        lambda: np.bincount(((f8 == 1).view(np.uint8) << 2) | ((g8 == 1).view(np.uint8) << 1)
                            | (h8 == 1).view(np.uint8), minlength=8), (f8, g8, h8))
    t32, p32_labels = truth.astype(np.int32), pred.astype(np.int32)
    classification = t.PyBinaryClassificationStreaming([0, 1, 1, 0], [1, 1, 0, 0])
    row("PyBinaryClassificationStreaming.push_batch (int32)", lambda: classification.push_batch(t32, p32_labels),
        lambda: numpy_classification(t32, p32_labels), (t32, p32_labels))
    row("py_model_perf_logistic_regression (float32)",
        lambda: t.py_model_perf_logistic_regression(y32, p32, 0.5),
        lambda: numpy_logistic(y32, p32, 0.5), (y32, p32))
    logistic = t.PyLogisticRegressionStreaming(list(y32[:10]), list(p32[:10]), 0.5)
    row("PyLogisticRegressionStreaming.push_batch (float32)", lambda: logistic.push_batch(y32, p32),
        lambda: numpy_logistic(y32, p32, 0.5), (y32, p32))
    row("py_model_perf_linear_regression (float32)",
        lambda: t.py_model_perf_linear_regression(r_true, r_pred),
        lambda: numpy_regression(r_true, r_pred), (r_true, r_pred))
    linear = t.PyLinearRegressionStreaming(list(r_true[:10]), list(r_pred[:10]))
    row("PyLinearRegressionStreaming.push_batch (float32)", lambda: linear.push_batch(r_true, r_pred),
        lambda: numpy_regression(r_true, r_pred), (r_true, r_pred))
    drift = t.PyContinuousDataDrift(base, None)
    stream = t.PyStreamingContinuousDataDriftDecay(base, None, None)
    stream.update_stream(0.0)
    edges = np.array(stream.export_snapshot()["binEdges"])

    def numpy_bins():
        idx = np.searchsorted(edges, feature, side="right")
        idx[feature > edges[-1]] = len(edges) + 1
        return np.bincount(idx, minlength=len(edges) + 2)

    row("PyContinuousDataDrift.compute_drift (float64)", lambda: drift.compute_drift(feature, "JensenShannon"),
        numpy_bins, (feature,))
    row("PyStreamingContinuousDataDriftDecay.update_stream_batch", lambda: stream.update_stream_batch(feature),
        numpy_bins, (feature,))
    flush = t.PyStreamingContinuousDataDriftFlush(base, None, None, None)
    row("PyStreamingContinuousDataDriftFlush.update_stream_batch", lambda: flush.update_stream_batch(feature),
        numpy_bins, (feature,))

    def numpy_distribution_bins():
        baseline_edges = np.histogram_bin_edges(base, bins="sturges")
        return [np.bincount(np.searchsorted(baseline_edges, x, side="right"), minlength=len(baseline_edges) + 1)
                for x in (base, feature)]

    row("py_compute_drift_continuous_distribtuion (float64)",
        lambda: t.py_compute_drift_continuous_distribtuion(base, feature, ["JensenShannon"], None),
        numpy_distribution_bins, (feature,))

    # Categorical: str arrays of eight labels; NumPy looks each up in the sorted labels.
    labels = np.array(["apple", "date", "fig", "kiwi", "lime", "pear", "plum", "yuzu"])
    text = labels[rng.integers(0, len(labels), N)]
    categorical = t.PyCategoricalDataDrift(list(labels[rng.integers(0, len(labels), 100_000)]))
    categorical_stream = t.PyStreamingCategoricalDataDriftDecay(list(labels), None)

    def numpy_label_counts():
        return np.bincount(np.searchsorted(labels, text), minlength=len(labels))

    # The floor of a str array: one sum over its code points.
    code_points = text.view(np.uint32)
    row("PyCategoricalDataDrift.compute_drift (str array)", lambda: categorical.compute_drift(text, "JensenShannon"),
        numpy_label_counts, (code_points,))
    row("PyStreamingCategoricalDataDriftDecay.update_stream_batch",
        lambda: categorical_stream.update_stream_batch(text), numpy_label_counts, (code_points,))
    text_base = labels[rng.integers(0, len(labels), 100_000)]

    def numpy_distribution_counts():
        known = np.unique(text_base)
        return [np.bincount(np.searchsorted(known, x), minlength=len(known)) for x in (text_base, text)]

    row("py_compute_drift_categorical_distribtuion (str arrays)",
        lambda: t.py_compute_drift_categorical_distribtuion(text_base, text, ["JensenShannon"]),
        numpy_distribution_counts, (code_points,))


if __name__ == "__main__":
    main()
