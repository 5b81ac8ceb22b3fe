"""The seven data bias metrics against their textbook float64 definitions, with
scipy's divergences as an independent oracle; ours are 32-bit, hence the
tolerance. Facet a holds the rows whose feature label is 1."""
import numpy as np
import pytest

import _tarvenn as t

stats = pytest.importorskip("scipy.stats")  # scipy comes with scikit-learn (the bench extra)
distance = pytest.importorskip("scipy.spatial.distance")


@pytest.mark.parametrize("seed", [0, 1, 2, 3, 4])
def test_metrics_match_textbook_definitions(seed):
    rng = np.random.default_rng(seed)
    n = 4000
    feature = (rng.random(n) < rng.uniform(0.2, 0.8)).astype(np.int64)
    truth = (rng.random(n) < np.where(feature == 1, rng.uniform(0.2, 0.8), rng.uniform(0.2, 0.8))).astype(np.int64)
    ours = t.py_data_bias_analyzer(feature, truth, 1, 1)

    n_a, n_d = np.count_nonzero(feature == 1), np.count_nonzero(feature == 0)
    q_a, q_d = truth[feature == 1].mean(), truth[feature == 0].mean()
    p_a, p_d = np.array([q_a, 1 - q_a]), np.array([q_d, 1 - q_d])
    expected = {
        "ClassImbalance": abs(n_a - n_d) / (n_a + n_d),
        "DifferenceInProportionOfLabels": q_a - q_d,
        "KlDivergence": stats.entropy(p_a, p_d),
        "JsDivergence": distance.jensenshannon(p_a, p_d) ** 2,
        "LpNorm": np.linalg.norm(p_a - p_d),
        "TotalVariationDistance": 0.5 * np.abs(p_a - p_d).sum(),
        "KolmogorovSmirnov": np.abs(p_a - p_d).max(),
    }
    assert set(ours) == set(expected)
    for name, value in expected.items():
        assert ours[name] == pytest.approx(value, rel=1e-4, abs=1e-6), name
