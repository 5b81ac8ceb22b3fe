"""Results of every batch path on fixed inputs of several dtypes, as one digest: the
ISA test compares the digest of the widest kernels with that of the baseline ones."""
import hashlib

import numpy as np

import _tarvenn as t

N = 50_003  # not a multiple of any vector width or block size


def results():
    rng = np.random.default_rng(7)
    feature = rng.normal(size=N)
    feature[rng.integers(0, N, 50)] = np.nan
    truth = rng.integers(0, 2, N)
    pred = rng.integers(0, 2, N)
    scores = rng.uniform(0, 1, N).astype(np.float32)
    reg_true, reg_pred = rng.uniform(0.5, 3, N).astype(np.float32), rng.uniform(0.5, 3, N).astype(np.float32)
    i8 = [rng.integers(-2, 3, N).astype(np.int8) for _ in range(3)]
    out = []
    for dtype in (np.int64, np.int32, np.int8, np.uint8, np.float32, np.float64):
        out.append(t.py_data_bias_analyzer(feature, truth.astype(dtype), 0.0, 1))
        out.append(t.py_model_bias_analyzer(feature, truth.astype(dtype), pred.astype(dtype), 0.0, 1, 1))
        out.append(t.py_model_perf_classification(truth.astype(dtype), pred.astype(dtype)))
        out.append(t.py_model_perf_logistic_regression(truth.astype(dtype), scores, 0.5))
        out.append(t.py_model_perf_linear_regression(reg_true.astype(dtype), reg_pred))
    monitors = [
        (t.PyDataBiasStreaming([0, 1] * 8, [1, 0, 0, 1] * 4), (i8[0], i8[1])),
        (t.PyModelBiasStreaming([1] * 8 + [0] * 8, [1, 1, 0, 0] * 4, [1, 0, 1, 0] * 4), tuple(i8)),
        (t.PyBinaryClassificationStreaming([0, 1, 1, 0], [1, 1, 0, 0]), (truth.astype(np.int32), pred.astype(np.int32))),
        (t.PyLogisticRegressionStreaming([0.0, 1.0, 1.0, 0.0], [0.2, 0.7, 0.4, 0.6], 0.5),
         (truth.astype(np.float32), scores)),
        (t.PyLinearRegressionStreaming([1.0, 2.0, 3.0], [1.5, 2.5, 2.0]), (reg_true, reg_pred)),
    ]
    for monitor, columns in monitors:
        monitor.push_batch(*columns)
        out.append(monitor.__getstate__())
    base = rng.normal(size=5_000)
    drift = t.PyContinuousDataDrift(base, None)
    out.append(drift.compute_drift(feature, "JensenShannon"))
    stream = t.PyStreamingContinuousDataDriftDecay(base, None, None)
    stream.update_stream_batch(feature)
    out.append(stream.__getstate__())
    return out


def digest():
    return hashlib.sha256(repr(results()).encode()).hexdigest()
