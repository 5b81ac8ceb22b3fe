"""Saving and loading state: a continuous detector with 10,000 bins, a categorical
detector with 100,000 labels, and pickling a monitor against copying its counters.

    python bench/bench_state.py
"""
import copy
import dataclasses
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
    return d, base


def main():
    d, base = detector_10k_bins()
    state = d.__getstate__()
    print(f"continuous decay detector, {d.n_bins} bins, state {len(state)} bytes")
    report("save (__getstate__)", per_call(d.__getstate__))
    report("load (_from_state)", per_call(lambda: t.PyStreamingContinuousDataDriftDecay._from_state(state)))
    report("pickle.dumps + loads", per_call(lambda: pickle.loads(pickle.dumps(d))))
    report("copy.copy (no serialisation)", per_call(lambda: copy.copy(d)))
    report("constructing it from its baseline", per_call(lambda: t.PyStreamingContinuousDataDriftDecay(base, None, 100), 5))

    labels = [f"label-{i:06d}" for i in range(100_000)]
    c = t.PyStreamingCategoricalDataDriftFlush(labels, None, None)
    c.update_stream_batch(labels[::3])
    state = c.__getstate__()
    print(f"categorical flush detector, {c.n_bins} bins, state {len(state)} bytes")
    report("save (__getstate__)", per_call(c.__getstate__, 1))
    report("load (_from_state)", per_call(lambda: t.PyStreamingCategoricalDataDriftFlush._from_state(state), 1))
    report("copy.copy (no serialisation)", per_call(lambda: copy.copy(c), 1))
    report("constructing it from the labels", per_call(lambda: t.PyStreamingCategoricalDataDriftFlush(labels, None, None), 5))

    rng = np.random.default_rng(1)
    f, p, g = (rng.integers(0, 2, 1000) for _ in range(3))
    m = t.PyModelBiasStreaming(f, p, g)
    m.push_batch(f, p, g)
    counters = Counters()
    print(f"model bias monitor, state {len(m.__getstate__())} bytes; against a Python object of its 11 counters")
    n = 2000
    base = per_call(lambda: pickle.dumps(counters), n)
    report("pickle.dumps(counters object)", base)
    report("pickle.dumps(monitor)", per_call(lambda: pickle.dumps(m), n), base)
    base = per_call(lambda: pickle.loads(pickle.dumps(counters)), n)
    report("pickle round trip of the counters object", base)
    report("pickle round trip of the monitor", per_call(lambda: pickle.loads(pickle.dumps(m)), n), base)
    base = per_call(lambda: copy.copy(counters), n)
    report("copy.copy(counters object)", base)
    report("copy.copy(monitor)", per_call(lambda: copy.copy(m), n), base)


@dataclasses.dataclass
class Counters:
    """What a pure-Python monitor would keep: 8 confusion counts and 3 benefit counts."""
    tp_facet: int = 11
    fp_facet: int = 12
    tn_facet: int = 13
    fn_facet: int = 14
    tp_rest: int = 15
    fp_rest: int = 16
    tn_rest: int = 17
    fn_rest: int = 18
    c0: int = 19
    c1: int = 20
    c2: int = 21


if __name__ == "__main__":
    main()
