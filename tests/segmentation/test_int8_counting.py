"""The vectorised batch counting of the int8 bias monitors against their one-sample
push, under every membership rule a saved state can carry (kind and threshold, the
empty rules Greater 127 and Less -128 included), across block and lane boundaries,
and for arrays read in place, strided arrays and lists."""
import itertools

import numpy as np
import pytest

import _tarvenn as t
import state_cases as sc

KINDS = range(5)  # >, >=, <, <=, ==
THRESHOLDS = (-128, -127, -1, 0, 1, 126, 127)
RULES = list(itertools.product(KINDS, THRESHOLDS))
# Where the rules start in each payload: after the baseline record of 7 or 12 floats.
RULE_OFFSET = {"PyDataBiasStreaming": 28, "PyModelBiasStreaming": 48}


DATA_BASELINE = ([0, 1] * 8, [1, 0, 0, 1] * 4)
# Both groups hold every cell, so that every metric of the baseline is defined.
MODEL_BASELINE = ([1] * 8 + [0] * 8, [1, 1, 0, 0] * 4, [1, 0, 1, 0] * 4)


def with_rules(monitor, rules):
    """A copy of `monitor` whose membership rules are `rules`, through its saved state."""
    state = monitor.__getstate__()
    body = bytearray(sc.payload(state))
    offset = RULE_OFFSET[type(monitor).__name__]
    for k, (kind, threshold) in enumerate(rules):
        body[offset + 2 * k] = kind
        body[offset + 2 * k + 1] = threshold & 0xFF
    return type(monitor)._from_state(sc.with_payload(state, body))


def samples(rng, n):
    values = rng.integers(-128, 128, n, dtype=np.int8)
    values[rng.integers(0, n, n // 8)] = rng.choice(np.array([-128, -127, -1, 0, 1, 126, 127], np.int8), n // 8)
    return values


def push_one_by_one(monitor, columns):
    for row in zip(*(c.tolist() for c in columns)):
        monitor.push(*row)


def assert_batch_equals_pushes(base, rules, columns):
    batch, single = with_rules(base, rules), with_rules(base, rules)
    batch.push_batch(*columns)
    push_one_by_one(single, columns)
    assert batch.__getstate__() == single.__getstate__(), rules


def test_data_bias_batch_counts_equal_pushes_under_every_rule_pair():
    rng = np.random.default_rng(1)
    columns = [samples(rng, 157), samples(rng, 157)]
    base = t.PyDataBiasStreaming(*DATA_BASELINE)
    for rules in itertools.product(RULES, RULES):
        assert_batch_equals_pushes(base, rules, columns)


def test_model_bias_batch_counts_equal_pushes_under_every_rule():
    rng = np.random.default_rng(2)
    columns = [samples(rng, 157) for _ in range(3)]
    base = t.PyModelBiasStreaming(*MODEL_BASELINE)
    combos = [tuple(RULES[rng.integers(len(RULES))] if k != pos else rule for k in range(3))
              for pos in range(3) for rule in RULES]
    combos += [tuple(RULES[i] for i in rng.integers(0, len(RULES), 3)) for _ in range(60)]
    for rules in combos:
        assert_batch_equals_pushes(base, rules, columns)


@pytest.mark.parametrize("n", [1, 63, 64, 65, 255 * 64 - 1, 255 * 64, 255 * 64 + 1, 3 * 255 * 64 + 77])
def test_counts_are_exact_across_lane_and_block_boundaries(n):
    # Every sample a member: an 8-bit lane counter that overflowed would lose rows.
    rng = np.random.default_rng(n)
    ones = np.ones(n, np.int8)
    mixed = samples(rng, n)
    data = t.PyDataBiasStreaming(*DATA_BASELINE)
    model = t.PyModelBiasStreaming(*MODEL_BASELINE)
    for base, columns in [(data, [ones, ones]), (data, [ones, mixed]), (model, [ones, ones, ones]),
                          (model, [mixed, ones, samples(rng, n)])]:
        assert_batch_equals_pushes(base, [(4, 1)] * len(columns), columns)


def test_batch_inputs_read_in_place_strided_or_converted_count_the_same():
    rng = np.random.default_rng(3)
    contiguous = [samples(rng, 1000), samples(rng, 1000)]
    variants = [
        contiguous,
        [np.repeat(c, 2)[::2] for c in contiguous],  # strided views of the same values
        [c.tolist() for c in contiguous],
        [c.astype(np.int64) for c in contiguous],
    ]
    for rules in [[(0, -1), (4, 1)], [(3, 0), (1, 127)]]:
        states = []
        for columns in variants:
            monitor = with_rules(t.PyDataBiasStreaming(*DATA_BASELINE), rules)
            monitor.push_batch(*columns)
            states.append(monitor.__getstate__())
        assert all(s == states[0] for s in states), rules
