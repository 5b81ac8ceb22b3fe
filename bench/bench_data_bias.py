"""Data bias benchmarks: the batch analysis against an equivalent NumPy
computation, and the streaming monitor against a pure-Python one.

    python bench/bench_data_bias.py [rows]
"""
import sys

import numpy as np

import _tarvenn as tv
from _common import best_of


def numpy_data_bias(feature, truth, threshold):
    """The same four counts and seven metrics, vectorised (continuous feature, label 1)."""
    facet = feature >= threshold
    positive = truth == 1
    n_a = np.count_nonzero(facet)
    n_d = facet.size - n_a
    pos_a = np.count_nonzero(facet & positive)
    pos_d = np.count_nonzero(positive) - pos_a
    f = np.float32
    q_a, q_d = f(pos_a) / f(n_a), f(pos_d) / f(n_d)
    dpl = q_a - q_d
    m = (q_a + q_d) * f(0.5)
    eps = (f(1) - q_a) + (q_d - f(1))
    return {
        "ClassImbalance": f(abs(n_a - n_d)) / f(n_a + n_d),
        "DifferenceInProportionOfLabels": dpl,
        "KlDivergence": (f(1) - q_a) * np.log((f(1) - q_a) / (f(1) - q_d)) + q_a * np.log(q_a / q_d),
        "JsDivergence": f(0.5) * (((f(1) - q_a) * np.log((f(1) - q_a) / (f(1) - m)) + q_a * np.log(q_a / m))
                                  + ((f(1) - q_d) * np.log((f(1) - q_d) / (f(1) - m)) + q_d * np.log(q_d / m))),
        "LpNorm": np.sqrt(eps * eps + dpl * dpl),
        "TotalVariationDistance": (abs(dpl) + abs(eps)) * f(0.5),
        "KolmogorovSmirnov": max(abs(eps), abs(dpl)),
    }


def numpy_with_heuristic(feature, truth, threshold):
    """As above, but deciding continuous or discrete mode the same way (distinct
    values over rows), as an equivalent computation must."""
    for column in (truth, feature):
        d = len(np.unique(column))
        _ = d >= 4 and np.float32(d) / np.float32(column.size) > np.float32(0.05)
    return numpy_data_bias(feature, truth, threshold)


class PythonMonitor:
    """The same four counters in pure Python."""

    def __init__(self):
        self.facet_positive = 0
        self.facet_count = 0
        self.rest_positive = 0
        self.rest_count = 0

    def push(self, f, g):
        if f == 1:
            self.facet_count += 1
            if g == 1:
                self.facet_positive += 1
        else:
            self.rest_count += 1
            if g == 1:
                self.rest_positive += 1


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 10_000_000
    rng = np.random.default_rng(0)
    feature = rng.normal(size=n)
    truth = rng.integers(0, 2, size=n, dtype=np.int64)

    ours = best_of(lambda: tv.py_data_bias_analyzer(feature, truth, 0.5, 1))
    theirs = best_of(lambda: numpy_data_bias(feature, truth, 0.5))
    sums = best_of(lambda: (feature.sum(), truth.sum()))
    full = best_of(lambda: numpy_with_heuristic(feature, truth, 0.5), repeat=2)
    print(f"py_data_bias_analyzer, {n:,} rows: {ours * 1e3:8.1f} ms")
    print(f"NumPy, counts and metrics only:     {theirs * 1e3:8.1f} ms  (NumPy / ours {theirs / ours:.2f}x)")
    print(f"NumPy with the mode heuristic:      {full * 1e3:8.1f} ms  (NumPy / ours {full / ours:.2f}x)")
    print(f"a.sum() over both arrays:           {sums * 1e3:8.1f} ms  (analysis / sums {ours / sums:.2f}x)")
    strided = best_of(lambda: tv.py_data_bias_analyzer(feature[::2], truth[::2], 0.5, 1))
    print(f"strided halves (step 2):            {strided * 1e3:8.1f} ms")

    f8 = rng.integers(0, 2, size=1_000_000, dtype=np.int8)
    g8 = rng.integers(0, 2, size=1_000_000, dtype=np.int8)
    monitor = tv.PyDataBiasStreaming(f8[:1000], g8[:1000])
    batch = best_of(lambda: monitor.push_batch(f8, g8))
    print(f"push_batch, 1,000,000 int8 pairs:   {batch * 1e3:8.1f} ms")

    pairs = list(zip(f8[:200_000].tolist(), g8[:200_000].tolist()))
    push = monitor.push
    native = best_of(lambda: [push(f, g) for f, g in pairs], repeat=3)
    python = PythonMonitor()
    ppush = python.push
    pure = best_of(lambda: [ppush(f, g) for f, g in pairs], repeat=3)
    print(f"push: {len(pairs) / native / 1e6:.2f} M/s; pure-Python class {len(pairs) / pure / 1e6:.2f} M/s "
          f"(ratio {pure / native:.2f}x)")


if __name__ == "__main__":
    main()
