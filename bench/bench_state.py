"""Saving and loading state: a continuous detector with 10,000 bins, a categorical
detector with 100,000 labels, and pickling a monitor against copying its counters.

    python bench/bench_state.py
"""
import copy
import pickle

import numpy as np

import _tarvenn as t
from _common import best_of

REPEAT = 20


def per_call(fn, n=20):
    return best_of(lambda: [fn() for _ in range(n)], REPEAT) / n


def report(label, seconds, ref=None):
    ratio = f"  ({seconds / ref:.2f}x)" if ref else ""
    print(f"  {label:<44} {seconds * 1e3:9.4f} ms{ratio}")


def detector_10k_bins():
    # Sturges gives floor(log2 n) + 1 bins; Freedman-Diaconis on a wide uniform sample
    # gives many: pick a range that lands on 10,000 bins.
    rng = np.random.default_rng(0)
    base = rng.random(200_000)
    base[0], base[1] = 0.0, 1.0
    d = t.PyStreamingContinuousDataDriftDecay(base, None, 100)
    scale = 1.0
    while d.n_bins < 10_000:
        scale *= 10_000 / d.n_bins * 1.0001
        base[1] = scale
        d = t.PyStreamingContinuousDataDriftDecay(base, None, 100)
    d.update_stream_batch(rng.random(100_000) * scale)
    return d


def main():
    d = detector_10k_bins()
    state = d.__getstate__()
    print(f"continuous decay detector, {d.n_bins} bins, state {len(state)} bytes")
    report("save (__getstate__)", per_call(d.__getstate__))
    report("load (_from_state)", per_call(lambda: t.PyStreamingContinuousDataDriftDecay._from_state(state)))
    report("pickle.dumps + loads", per_call(lambda: pickle.loads(pickle.dumps(d))))
    report("copy.copy (no serialisation)", per_call(lambda: copy.copy(d)))

    labels = [f"label-{i:06d}" for i in range(100_000)]
    c = t.PyStreamingCategoricalDataDriftFlush(labels, None, None)
    c.update_stream_batch(labels[::3])
    state = c.__getstate__()
    print(f"categorical flush detector, {c.n_bins} bins, state {len(state)} bytes")
    report("save (__getstate__)", per_call(c.__getstate__, 5))
    report("load (_from_state)", per_call(lambda: t.PyStreamingCategoricalDataDriftFlush._from_state(state), 5))
    report("copy.copy (no serialisation)", per_call(lambda: copy.copy(c), 5))

    rng = np.random.default_rng(1)
    f, p, g = (rng.integers(0, 2, 1000) for _ in range(3))
    m = t.PyModelBiasStreaming(f, p, g)
    m.push_batch(f, p, g)
    print(f"model bias monitor, state {len(m.__getstate__())} bytes")
    counters = [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11]  # its 11 integer counters, as a Python list
    base = per_call(lambda: copy.copy(counters), 2000)
    report("copying 11 counters (list copy)", base)
    report("copy.copy(monitor)", per_call(lambda: copy.copy(m), 2000), base)
    report("pickle.dumps(monitor)", per_call(lambda: pickle.dumps(m), 2000), base)
    report("pickle.loads(pickle.dumps(monitor))", per_call(lambda: pickle.loads(pickle.dumps(m)), 2000), base)
    report("pickle.dumps(counters list)", per_call(lambda: pickle.dumps(counters), 2000), base)


if __name__ == "__main__":
    main()
