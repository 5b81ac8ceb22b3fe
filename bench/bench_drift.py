"""Drift detector timings side by side with NumPy / collections.Counter.

Run: PYTHONPATH=build-dev python3 bench/bench_drift.py
"""
import collections
import math

import numpy as np

import _tarvenn as t
from _common import best_of

EPS = 1e-12


def js_numpy(p, r):
    total = r.sum()
    a = np.fmax(p + EPS, EPS)
    b = np.fmax(r / total + EPS, EPS)
    m = (a + b) * 0.5
    return float(((b * 0.5) * np.log(b / m) + (a * 0.5) * np.log(a / m)).sum() / math.log(2))


def continuous():
    rng = np.random.default_rng(7)
    baseline = rng.normal(size=100_000)
    runtime = rng.normal(0.1, 1.1, size=10_000_000)
    detector = t.PyContinuousDataDrift(baseline, None)
    probe = t.PyStreamingContinuousDataDriftFlush(baseline, None, None, None)
    probe.update_stream(0.0)
    edges = np.array(probe.export_snapshot()["binEdges"])
    p = np.array(detector.export_baseline())
    n_bins = detector.num_bins

    def numpy_searchsorted():
        idx = np.searchsorted(edges, runtime, side="right")
        idx[runtime > edges[-1]] = n_bins - 1
        return js_numpy(p, np.bincount(idx, minlength=n_bins).astype(np.float64))

    def numpy_histogram():
        inner, _ = np.histogram(runtime, bins=np.concatenate(([-np.inf], edges, [np.inf])))
        # (timing only: histogram closes its last bin instead of keeping an equal-to-last-edge bin)
        return js_numpy(p, np.concatenate((inner[:-1], [0], inner[-1:])).astype(np.float64))

    ours = best_of(lambda: detector.compute_drift(runtime, "JensenShannon"))
    ss = best_of(numpy_searchsorted)
    hist = best_of(numpy_histogram, 3)
    total = best_of(lambda: runtime.sum())
    print(f"continuous, {n_bins} bins, 10M runtime values vs 100k baseline")
    print(f"  compute_drift            {ours * 1e3:8.1f} ms")
    print(f"  numpy searchsorted+JS    {ss * 1e3:8.1f} ms   ({ss / ours:.1f}x ours)")
    print(f"  numpy histogram+JS       {hist * 1e3:8.1f} ms   ({hist / ours:.1f}x ours)")
    print(f"  numpy a.sum()            {total * 1e3:8.1f} ms   (ours = {ours / total:.1f}x a.sum())")
    print(f"  constructor (100k, FD)   {best_of(lambda: t.PyContinuousDataDrift(baseline, None)) * 1e3:8.1f} ms")
    print(f"  constructor (100k, Scott){best_of(lambda: t.PyContinuousDataDrift(baseline, 'Scott')) * 1e3:8.1f} ms")

    decay = t.PyStreamingContinuousDataDriftDecay(baseline, None, None)
    flush = t.PyStreamingContinuousDataDriftFlush(baseline, None, None, None)
    d_time = best_of(lambda: decay.update_stream_batch(runtime))
    f_time = best_of(lambda: flush.update_stream_batch(runtime))
    print(f"  update_stream_batch decay {d_time * 1e3:7.1f} ms")
    print(f"  update_stream_batch flush {f_time * 1e3:7.1f} ms")
    n = 1_000_000
    one = best_of(lambda: [decay.update_stream(0.5) for _ in range(n)], 3)
    print(f"  update_stream (1 sample)  {one / n * 1e9:7.1f} ns per call (Python loop included)")


def categorical():
    rng = np.random.default_rng(11)
    pool = [f"label_{i:02d}" for i in range(50)]
    baseline = [pool[i] for i in rng.integers(0, 50, size=100_000)]
    picks = rng.integers(0, 52, size=1_000_000)
    pool_plus = pool + ["unseen_a", "unseen_b"]
    runtime_list = [pool_plus[i] for i in picks]
    runtime_fresh = ["".join(["label_", s[6:]]) for s in runtime_list]  # distinct str objects
    runtime_array = np.array(runtime_list)
    detector = t.PyCategoricalDataDrift(baseline)
    base_counts = collections.Counter(baseline)
    labels = sorted(base_counts)
    p = np.array([base_counts[x] / len(baseline) for x in labels] + [0.0])

    def counter_formula(data):
        counts = collections.Counter(data)
        known = [float(counts.get(x, 0)) for x in labels]
        r = np.array(known + [float(len(data) - sum(known))])
        return js_numpy(p, r)

    print("categorical, 1M labels over 50 values (+2 unseen)")
    for name, data in (("list (shared str objects)", runtime_list),
                       ("list (distinct str objects)", runtime_fresh),
                       ("NumPy 'U' array", runtime_array)):
        ours = best_of(lambda: detector.compute_drift(data, "JensenShannon"))
        ref = best_of(lambda: counter_formula(data), 3)
        print(f"  {name:28s} ours {ours * 1e3:7.1f} ms   Counter+JS {ref * 1e3:7.1f} ms   ({ref / ours:.1f}x)")
    decay = t.PyStreamingCategoricalDataDriftDecay(baseline, None)
    print(f"  update_stream_batch decay (list) {best_of(lambda: decay.update_stream_batch(runtime_list)) * 1e3:7.1f} ms")
    n = 1_000_000
    one = best_of(lambda: [decay.update_stream("label_07") for _ in range(n)], 3)
    print(f"  update_stream (1 label)   {one / n * 1e9:7.1f} ns per call (Python loop included)")


if __name__ == "__main__":
    continuous()
    categorical()
