"""The categorical drift measures against scipy and the textbook population
stability index, an independent oracle: every label occurs in both samples, so
the stability epsilon added to the bins stays within the tolerance. The
Jensen-Shannon divergence is taken in bits."""
import numpy as np
import pytest

import _tarvenn as t

stats = pytest.importorskip("scipy.stats")
distance = pytest.importorskip("scipy.spatial.distance")


@pytest.mark.parametrize("seed", [0, 1, 2, 3])
def test_categorical_measures(seed):
    rng = np.random.default_rng(seed)
    labels = [f"label{i}" for i in range(12)]
    weights = rng.dirichlet(np.ones(12))
    shifted = rng.dirichlet(np.ones(12))
    baseline = labels + list(rng.choice(labels, 3000, p=weights))
    runtime = labels + list(rng.choice(labels, 2000, p=shifted))
    p = np.array([baseline.count(x) for x in labels], dtype=np.float64) / len(baseline)
    r = np.array([runtime.count(x) for x in labels], dtype=np.float64) / len(runtime)
    expected = {
        "JensenShannon": distance.jensenshannon(p, r, base=2) ** 2,
        "KullbackLeibler": stats.entropy(p, r),
        "PopulationStabilityIndex": np.sum((r - p) * np.log(r / p)),
    }
    names = list(expected)
    ours = t.py_compute_drift_categorical_distribtuion(baseline, runtime, names)
    detector = t.PyCategoricalDataDrift(baseline)
    for value, name in zip(ours, names):
        assert value == pytest.approx(expected[name], rel=1e-9, abs=1e-12), name
        assert detector.compute_drift(runtime, name) == value
