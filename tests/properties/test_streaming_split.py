"""Every streaming monitor reports the same state however its samples were split
between single pushes and batches, and whatever sequence type carried a batch."""
import numpy as np
from hypothesis import given, settings, strategies as st

import _tarvenn as t
from surface_calls import CONSTRUCTORS

bit = st.integers(0, 1)
SAMPLES = {
    "PyDataBiasStreaming": st.tuples(bit, bit),
    "PyModelBiasStreaming": st.tuples(bit, bit, bit),
    "PyBinaryClassificationStreaming": st.tuples(st.integers(-2, 2), st.integers(-2, 2)),
    "PyLinearRegressionStreaming": st.tuples(st.floats(-1e3, 1e3, width=32), st.floats(-1e3, 1e3, width=32)),
    "PyLogisticRegressionStreaming": st.tuples(st.sampled_from([0.0, 1.0]), st.floats(0, 1, width=32)),
}
BATCH_KINDS = ["list", "tuple", "array"]


def observe(monitor):
    seen = []
    for name in ("performance_snapshot", "drift_snapshot"):
        try:
            seen.append(repr(sorted(getattr(monitor, name)().items())))
        except (ValueError, TypeError) as e:
            seen.append(type(e).__name__ + str(e))
    for threshold in (0.0, 0.1):
        try:
            seen.append(repr(monitor.drift_report(threshold)))
        except (ValueError, TypeError) as e:
            seen.append(type(e).__name__ + str(e))
    return seen


def as_batch(rows, kind):
    columns = list(zip(*rows))
    if kind == "tuple":
        return [tuple(c) for c in columns]
    if kind == "array":
        return [np.array(c) for c in columns]
    return [list(c) for c in columns]


@settings(max_examples=100, deadline=None)
@given(st.data())
def test_split_between_push_and_batch_does_not_matter(data):
    cls = data.draw(st.sampled_from(sorted(SAMPLES)))
    rows = data.draw(st.lists(SAMPLES[cls], min_size=1, max_size=60))
    cuts = sorted(data.draw(st.lists(st.integers(0, len(rows)), max_size=5)))
    flush_at = data.draw(st.one_of(st.none(), st.integers(0, len(rows))))
    singles = getattr(t, cls)(*CONSTRUCTORS[cls]())
    mixed = getattr(t, cls)(*CONSTRUCTORS[cls]())
    for i, row in enumerate(rows):
        if i == flush_at:
            singles.flush()
        singles.push(*row)
    bounds = [0] + cuts + [len(rows)]
    if flush_at is not None:
        bounds = sorted(set(bounds + [flush_at]))
    for lo, hi in zip(bounds, bounds[1:]):
        if lo == flush_at:
            mixed.flush()
        chunk = rows[lo:hi]
        if len(chunk) == 1 and data.draw(st.booleans()):
            mixed.push(*chunk[0])
        elif chunk:
            mixed.push_batch(*as_batch(chunk, data.draw(st.sampled_from(BATCH_KINDS))))
    if flush_at == len(rows):
        singles.flush()
        mixed.flush()
    assert observe(mixed) == observe(singles)
