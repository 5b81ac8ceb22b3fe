"""Objects of the eleven classes with random histories, what can be observed of them,
and random continuations: shared by the state and merge tests, the version-1 data
script and the loader fuzz target."""
import numpy as np

import _tarvenn as t

DRIFT_TYPES = ["JensenShannon", "PopulationStabilityIndex", "WassersteinDistance", "KullbackLeibler"]
LABELS = ["apple", "kiwi", "lime", "pear", "plum", "", "é"]

MONITORS = ["PyDataBiasStreaming", "PyModelBiasStreaming", "PyLinearRegressionStreaming",
            "PyLogisticRegressionStreaming", "PyBinaryClassificationStreaming"]
STREAMING_DRIFT = ["PyStreamingContinuousDataDriftFlush", "PyStreamingContinuousDataDriftDecay",
                   "PyStreamingCategoricalDataDriftFlush", "PyStreamingCategoricalDataDriftDecay"]
BATCH_DRIFT = ["PyContinuousDataDrift", "PyCategoricalDataDrift"]
MERGEABLE = MONITORS + STREAMING_DRIFT
CLASSES = MERGEABLE + BATCH_DRIFT


def _bits(rng, n):
    return [int(v) for v in rng.integers(0, 2, n)]


def _floats(rng, n):
    return [float(v) for v in np.round(rng.normal(2.0, 1.5, n), 3)]


def _scores(rng, n):
    return [float(v) for v in np.round(rng.random(n), 4)]


def _labels(rng, n, extra=()):
    pool = LABELS + list(extra)
    return [pool[i] for i in rng.integers(0, len(pool), n)]


def _continuous_baseline(rng):
    kind = rng.integers(0, 6)
    n = int(rng.integers(2, 60))
    if kind == 0:
        return np.full(n, 1.5)                                 # one edge
    if kind == 1:
        return np.array([-np.inf, 0.0, 1.0, np.inf] * 3)       # NaN edges
    if kind == 2:
        return np.array([0.0, 1.0, 2.0, np.inf])               # infinite edges
    return rng.normal(0.0, 3.0, n)


def baseline_args(name, rng):
    """Valid constructor arguments of class `name`."""
    n = int(rng.integers(4, 40))
    if name == "PyDataBiasStreaming":
        f = _bits(rng, n)
        f[0], f[1] = 0, 1
        return (f, _bits(rng, n))
    if name == "PyModelBiasStreaming":
        # every metric defined: both groups hold every cell
        f = [1] * 8 + [0] * 8 + _bits(rng, n)
        p = [1, 1, 0, 0] * 4 + _bits(rng, n)
        g = [1, 0, 1, 0] * 4 + _bits(rng, n)
        return (f, p, g)
    if name == "PyLinearRegressionStreaming":
        return (_floats(rng, n), _floats(rng, n))
    if name == "PyLogisticRegressionStreaming":
        return (_bits(rng, n), _scores(rng, n), float(rng.choice([0.3, 0.5, 0.7])))
    if name == "PyBinaryClassificationStreaming":
        return (_bits(rng, n), _bits(rng, n))
    if name == "PyContinuousDataDrift":
        return (_continuous_baseline(rng), str(rng.choice(["FreedmanDiaconis", "Scott", "Sturges"])))
    if name == "PyCategoricalDataDrift":
        return (_labels(rng, n),)
    if name == "PyStreamingContinuousDataDriftFlush":
        return (_continuous_baseline(rng), None, int(rng.integers(1, 40)), 86400)
    if name == "PyStreamingContinuousDataDriftDecay":
        return (_continuous_baseline(rng), "Scott", int(rng.integers(1, 9)))
    if name == "PyStreamingCategoricalDataDriftFlush":
        return (_labels(rng, n), int(rng.integers(1, 40)), 86400)
    if name == "PyStreamingCategoricalDataDriftDecay":
        return (_labels(rng, n), int(rng.integers(1, 9)))
    raise KeyError(name)


def build(name, rng):
    return getattr(t, name)(*baseline_args(name, rng))


def step(obj, name, rng):
    """One random operation that changes the running state (never the baseline)."""
    n = int(rng.integers(1, 30))
    r = rng.random()
    if name in MONITORS:
        if r < 0.05:
            obj.flush()
            return
        if name == "PyDataBiasStreaming":
            f, g = _bits(rng, n), _bits(rng, n)
            obj.push_batch(f, g) if r < 0.6 else obj.push(f[0], g[0])
        elif name == "PyModelBiasStreaming":
            f, p, g = _bits(rng, n), _bits(rng, n), _bits(rng, n)
            obj.push_batch(f, p, g) if r < 0.6 else obj.push(f[0], p[0], g[0])
        elif name == "PyLinearRegressionStreaming":
            a, b = _floats(rng, n), _floats(rng, n)
            obj.push_batch(a, b) if r < 0.6 else obj.push(a[0], b[0])
        elif name == "PyLogisticRegressionStreaming":
            a, b = _bits(rng, n), _scores(rng, n)
            obj.push_batch([float(v) for v in a], b) if r < 0.6 else obj.push(float(a[0]), b[0])
        else:
            a, b = _bits(rng, n), _bits(rng, n)
            obj.push_batch(a, b) if r < 0.6 else obj.push(a[0], b[0])
    elif name in STREAMING_DRIFT:
        if "Flush" in name and r < 0.05:
            obj.flush()
            return
        if "Decay" in name and r < 0.15:
            try:
                obj.compute_drift(str(rng.choice(DRIFT_TYPES)))
            except ValueError:
                pass
            return
        if "Continuous" in name:
            values = rng.normal(0.5, 4.0, n)
            obj.update_stream_batch(values) if r < 0.6 else obj.update_stream(float(values[0]))
        else:
            labels = _labels(rng, n, extra=["unseen"])
            obj.update_stream_batch(labels) if r < 0.6 else obj.update_stream(labels[0])
    # the batch detectors keep nothing between calls


def with_history(name, rng, steps=None):
    obj = build(name, rng)
    for _ in range(int(rng.integers(0, 12)) if steps is None else steps):
        step(obj, name, rng)
    return obj


def _call(fn, *args):
    try:
        value = fn(*args)
    except (ValueError, TypeError) as e:
        return f"{type(e).__name__}: {e}"
    if isinstance(value, dict):
        return repr(sorted(value.items(), key=repr))
    return repr(value)


def observe(obj, name, rng=None):
    """Everything the object shows, as text (repr of floats is exact). Drift
    computations of decay detectors change them, identically on equal objects."""
    seen = []
    if name in MONITORS:
        for meth in ("performance_snapshot", "drift_snapshot"):
            seen.append(_call(getattr(obj, meth)))
        for threshold in (0.0, 0.05, 0.5):
            seen.append(_call(obj.drift_report, threshold))
        return seen
    for attr in ("num_bins", "n_bins", "total_samples"):
        if hasattr(obj, attr):
            seen.append(repr(getattr(obj, attr)))
    seen.append(_call(obj.export_baseline))
    if name in BATCH_DRIFT:
        runtime = (np.linspace(-5.0, 5.0, 17) if "Continuous" in name else _labels(np.random.default_rng(1), 9, ["x"]))
        seen.append(_call(obj.compute_drift, runtime, "JensenShannon"))
        seen.append(_call(obj.compute_drift_mutliple_criteria, runtime, DRIFT_TYPES))
        return seen
    seen.append(_call(obj.export_snapshot))
    seen.append(_call(obj.compute_drift_multiple_criteria, DRIFT_TYPES))
    return seen


def continue_with(obj, name, seed, steps=6):
    """A fixed continuation (same seed, same operations) and what it shows."""
    rng = np.random.default_rng(seed)
    seen = []
    for _ in range(steps):
        step(obj, name, rng)
        seen.append(observe(obj, name))
    return seen


# ---- the frame of a state: magic, version, class tag, payload length, payload, CRC-32C

HEADER = 20


def _crc_table():
    table = []
    for i in range(256):
        c = i
        for _ in range(8):
            c = (c >> 1) ^ 0x82F63B78 if c & 1 else c >> 1
        table.append(c)
    return table


_CRC = _crc_table()


def crc32c(data):
    c = 0xFFFFFFFF
    for b in data:
        c = (c >> 8) ^ _CRC[(c ^ b) & 0xFF]
    return c ^ 0xFFFFFFFF


def reframe(state):
    """`state` (header + payload, any old checksum dropped) with its payload length and
    checksum made right again, so that a changed field reaches the field checks."""
    body = bytearray(state[:-4])
    body[12:20] = (len(body) - HEADER).to_bytes(8, "little")
    return bytes(body) + crc32c(body).to_bytes(4, "little")


def payload(state):
    return state[HEADER:-4]


def with_payload(state, new_payload):
    return reframe(state[:HEADER] + bytes(new_payload) + b"\0\0\0\0")
