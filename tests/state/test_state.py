"""Saved state of the eleven classes: pickle, copy and the state bytes round-trip bit
for bit and continue as if never saved; every invalid state is a ValueError that says
what is wrong and changes nothing."""
import copy
import gc
import os
import pickle
import struct
import subprocess
import sys
import textwrap

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import _tarvenn as t
import state_cases as sc
from state_cases import CLASSES, HEADER, payload, reframe, with_payload

# The flush-mode detectors save the time since their last flush, which moves on.
TIMELESS = [c for c in CLASSES if "Flush" not in c]


def state_of(name, seed=0, steps=None):
    return sc.with_history(name, np.random.default_rng(seed), steps).__getstate__()


# ---- round trips ---------------------------------------------------------------------

@pytest.mark.property
@settings(max_examples=60, deadline=None)
@given(name=st.sampled_from(CLASSES), seed=st.integers(0, 2 ** 32 - 1),
       protocol=st.integers(0, pickle.HIGHEST_PROTOCOL))
def test_pickle_round_trip_then_continue_equals_never_saved(name, seed, protocol):
    original = sc.with_history(name, np.random.default_rng(seed))
    restored = pickle.loads(pickle.dumps(original, protocol))
    assert type(restored) is type(original)
    assert sc.observe(restored, name) == sc.observe(original, name)
    assert sc.continue_with(restored, name, seed) == sc.continue_with(original, name, seed)


@pytest.mark.property
@settings(max_examples=40, deadline=None)
@given(name=st.sampled_from(CLASSES), seed=st.integers(0, 2 ** 32 - 1))
def test_copies_are_equal_and_independent(name, seed):
    original = sc.with_history(name, np.random.default_rng(seed))
    before = original.__getstate__()
    for duplicate in (copy.copy(original), copy.deepcopy(original), copy.deepcopy([original])[0]):
        assert duplicate is not original
        assert sc.continue_with(duplicate, name, seed) == sc.continue_with(copy.copy(original), name, seed)
    if name in TIMELESS:
        assert original.__getstate__() == before


@pytest.mark.parametrize("name", TIMELESS)
def test_state_bytes_are_stable(name):
    for seed in range(5):
        state = state_of(name, seed)
        assert getattr(t, name)._from_state(state).__getstate__() == state
        assert getattr(t, name)._from_state(bytearray(state)).__getstate__() == state
        assert getattr(t, name)._from_state(memoryview(state)).__getstate__() == state


def test_baseline_with_both_infinities_has_nan_edges_and_loads_again():
    for name in ("PyContinuousDataDrift", "PyStreamingContinuousDataDriftDecay"):
        args = (np.array([-np.inf, 0.0, 1.0, np.inf] * 50), "Sturges") + ((3,) if "Decay" in name else ())
        original = getattr(t, name)(*args)
        restored = pickle.loads(pickle.dumps(original))
        assert sc.observe(restored, name) == sc.observe(original, name)
    edges = t.PyStreamingContinuousDataDriftDecay(*args)
    edges.update_stream(0.5)
    assert edges.export_snapshot()["binEdges"][0] == -np.inf
    assert np.isnan(edges.export_snapshot()["binEdges"][1:]).all()


def test_setstate_replaces_the_whole_object():
    a = sc.with_history("PyModelBiasStreaming", np.random.default_rng(1), 5)
    b = sc.with_history("PyModelBiasStreaming", np.random.default_rng(2), 5)
    assert sc.observe(a, "PyModelBiasStreaming") != sc.observe(b, "PyModelBiasStreaming")
    a.__setstate__(b.__getstate__())
    assert sc.observe(a, "PyModelBiasStreaming") == sc.observe(b, "PyModelBiasStreaming")


def test_restored_flush_detector_continues_its_cadence_from_the_saved_elapsed_time():
    d = t.PyStreamingContinuousDataDriftFlush(np.arange(20.0), "Sturges", 1000, 5)
    d.update_stream_batch(np.arange(256.0))      # the next sample reads the clock
    state = d.__getstate__()
    body = payload(state)
    n_edges = struct.unpack_from("<Q", body, 5)[0]
    at = 5 + 8 + 8 * n_edges
    n_hist = struct.unpack_from("<Q", body, at)[0]
    elapsed_at = at + 8 + 8 * n_hist + 16
    assert struct.unpack_from("<d", body, elapsed_at - 16)[0] == 1000.0
    assert struct.unpack_from("<Q", body, elapsed_at - 8)[0] == 5
    # 4 s have passed: not yet due
    later = bytearray(body)
    later[elapsed_at:elapsed_at + 8] = struct.pack("<Q", 4 * 10 ** 9)
    r = t.PyStreamingContinuousDataDriftFlush._from_state(with_payload(state, later))
    assert r.last_flush == 4
    r.update_stream(1.0)
    assert r.total_samples == 257
    # 6 s have passed: the cadence flushes before the sample
    later[elapsed_at:elapsed_at + 8] = struct.pack("<Q", 6 * 10 ** 9)
    r = t.PyStreamingContinuousDataDriftFlush._from_state(with_payload(state, later))
    assert r.last_flush == 6
    r.update_stream(1.0)
    assert (r.total_samples, r.last_flush) == (1, 0)


def test_flush_detector_round_trip_across_processes():
    d = t.PyStreamingCategoricalDataDriftFlush(["a", "b", "b", "c"], 7, 86400)
    d.update_stream_batch(["a", "b", "z", "b", "c"])
    expected = copy.copy(d)
    expected.update_stream_batch(["a", "a", "q", "c"])
    code = textwrap.dedent("""
        import pickle, sys
        d = pickle.loads(sys.stdin.buffer.read())
        d.update_stream_batch(["a", "a", "q", "c"])
        sys.stdout.buffer.write(pickle.dumps((d, d.export_snapshot(), d.total_samples, d.last_flush)))
    """)
    out = subprocess.run([sys.executable, "-c", code], input=pickle.dumps(d), capture_output=True, check=True,
                         env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})
    back, snapshot, total, last_flush = pickle.loads(out.stdout)
    assert (snapshot, total) == (expected.export_snapshot(), expected.total_samples) and total == 2
    assert last_flush == 0
    assert sc.observe(back, "PyStreamingCategoricalDataDriftFlush") == \
        sc.observe(expected, "PyStreamingCategoricalDataDriftFlush")


# ---- refusals ------------------------------------------------------------------------

def refused(name, state):
    with pytest.raises(ValueError) as info:
        getattr(t, name)._from_state(state)
    return str(info.value)


def test_frame_refusals():
    state = state_of("PyDataBiasStreaming")
    name = "PyDataBiasStreaming"
    assert refused(name, b"") == "not a tarvenn state"
    assert refused(name, b"\x80\x04junk") == "not a tarvenn state"
    assert refused(name, state[:10]) == "truncated state"
    assert refused(name, state[:-1]) == "truncated state"
    assert refused(name, state + b"\0") == "state has trailing bytes after its checksum"
    assert refused(name, state[:8] + b"\x02\x00" + state[10:]) == "unsupported state version 2"
    assert refused(name, state[:8] + b"\xff\xff" + state[10:]) == "unsupported state version 65535"
    assert refused(name, state[:-1] + bytes([state[-1] ^ 1])) == "checksum mismatch"
    assert refused("PyModelBiasStreaming", state) == \
        "state is for class PyDataBiasStreaming, not PyModelBiasStreaming"
    assert refused(name, reframe(state[:10] + b"\x63\x00" + state[12:])) == \
        "state is for class unknown class tag 99, not PyDataBiasStreaming"
    # a payload shorter or longer than its fields
    assert refused(name, with_payload(state, payload(state)[:-1])) == "truncated state"
    assert refused(name, with_payload(state, payload(state) + b"\0")) == "state payload has 1 unread bytes"
    with pytest.raises(TypeError, match="^argument 'state': a bytes-like object is required, not 'str'$"):
        t.PyDataBiasStreaming._from_state("TARVENN")


def field_refusal(name, state, offset, new_bytes):
    body = bytearray(payload(state))
    body[offset:offset + len(new_bytes)] = new_bytes
    return refused(name, with_payload(state, body))


def test_field_refusals_of_the_monitors():
    s = state_of("PyDataBiasStreaming", steps=3)
    counts = 7 * 4 + 4   # after the baseline and the two rules
    assert field_refusal("PyDataBiasStreaming", s, counts, struct.pack("<QQ", 5, 4)) == \
        "state field out of range: facet positives exceed the facet count"
    assert field_refusal("PyDataBiasStreaming", s, 28, b"\x09") == \
        "state field out of range: segmentation kind 9 is unknown"
    m = state_of("PyModelBiasStreaming", steps=3)
    assert field_refusal("PyModelBiasStreaming", m, 12 * 4 + 6 + 64, struct.pack("<Q", 10 ** 6)) == \
        "state field out of range: benefit counts disagree with the confusion counts"
    lin = state_of("PyLinearRegressionStreaming", steps=3)
    assert field_refusal("PyLinearRegressionStreaming", lin, 8 * 4 + 6 * 8, struct.pack("<d", 2.5)) == \
        "state field out of range: pair count is not a whole count"
    assert field_refusal("PyLinearRegressionStreaming", lin, 8 * 4 + 2 * 8, struct.pack("<d", -1.0)) == \
        "state field out of range: maximum absolute error is negative or NaN"
    empty = t.PyLogisticRegressionStreaming([1.0, 0.0], [0.7, 0.2], 0.5).__getstate__()
    assert field_refusal("PyLogisticRegressionStreaming", empty, 8 * 4 + 32, struct.pack("<d", -1.0)) == \
        "state field out of range: log loss sum of an empty stream is not zero"
    b = state_of("PyBinaryClassificationStreaming", steps=2)
    assert field_refusal("PyBinaryClassificationStreaming", b, 7 * 4 + 4, struct.pack("<QQQQ", 2 ** 63, 2 ** 63, 0, 0)) \
        == "state field out of range: confusion counts overflow their 64-bit total"


def test_counts_beyond_the_signed_range_load_and_give_their_metrics():
    # Found by fuzzing the loader: the count gap was taken in signed 64-bit arithmetic,
    # which overflows for counts past 2^63 (a wrong ClassImbalance, and undefined behaviour).
    s = state_of("PyDataBiasStreaming", steps=3)
    counts = struct.pack("<QQQQ", 2 ** 63, 2 ** 64 - 2 ** 40, 5, 2 ** 40 - 1)
    loaded = t.PyDataBiasStreaming._from_state(with_payload(s, payload(s)[:32] + counts))
    gap, total = np.float32(2 ** 64 - 2 ** 41 + 1), np.float32(2 ** 64 - 1)
    assert loaded.performance_snapshot()["ClassImbalance"] == float(gap / total)  # 1 - 2^-23, not 2^-23


def test_field_refusals_of_the_drift_detectors():
    name = "PyContinuousDataDrift"
    s = t.PyContinuousDataDrift(np.arange(40.0), "Sturges").__getstate__()
    n_bins = struct.unpack_from("<I", payload(s), 1)[0]
    first_edge, hist_at = 13, 13 + 8 * (n_bins - 2)
    assert field_refusal(name, s, 0, b"\x03") == "state field out of range: unknown bin rule"
    assert field_refusal(name, s, 1, struct.pack("<I", 2)) == "state field out of range: bin count 2 is out of range"
    assert field_refusal(name, s, 1, struct.pack("<I", 10 ** 7)) == \
        "state field out of range: bin count 10000000 is out of range"
    assert field_refusal(name, s, 1, struct.pack("<I", n_bins + 1)) == \
        "state field out of range: edge count does not match the bin count"
    assert field_refusal(name, s, first_edge + 8, struct.pack("<d", -5.0)) == \
        "state field out of range: bin edges decrease or are NaN"
    assert field_refusal(name, s, first_edge, struct.pack("<d", float("nan"))) == \
        "state field out of range: bin edges decrease or are NaN"
    assert field_refusal(name, s, hist_at + 8, struct.pack("<d", float("nan"))) == \
        "state field out of range: baseline fraction outside [0, 1]"
    # lengths of 2^60 and 2^64 - 1 are refused before anything is allocated
    for huge in (2 ** 60, 2 ** 64 - 1):
        assert field_refusal(name, s, 5, struct.pack("<Q", huge)) == "truncated state"
        assert field_refusal(name, s, hist_at, struct.pack("<Q", huge)) == "truncated state"

    name = "PyCategoricalDataDrift"
    c = t.PyCategoricalDataDrift(["a", "b", "b"]).__getstate__()
    assert field_refusal(name, c, 0, struct.pack("<Q", 0)) == \
        "state field out of range: a categorical baseline has no labels"
    assert field_refusal(name, c, 0, struct.pack("<Q", 2 ** 60)) == "truncated state"
    assert field_refusal(name, c, 8, struct.pack("<Q", 2 ** 62)) == "truncated state"
    assert field_refusal(name, c, 16, b"b") == "state field out of range: labels are not ascending and distinct"
    assert field_refusal(name, c, 26 + 8 + 16, struct.pack("<d", 0.25)) == \
        "state field out of range: the unseen-label fraction is not 0"

    d = t.PyStreamingCategoricalDataDriftDecay(["a", "b"], 2).__getstate__()
    mode_at = 8 + 2 * 9 + 8 + 3 * 8
    assert field_refusal("PyStreamingCategoricalDataDriftDecay", d, mode_at, struct.pack("<d", 1.5)) == \
        "state field out of range: decay factor outside [0.5, 1]"
    assert field_refusal("PyStreamingCategoricalDataDriftDecay", d, mode_at + 8, struct.pack("<Q", 2)) == \
        "state field out of range: window bin count does not match the baseline"
    assert field_refusal("PyStreamingCategoricalDataDriftDecay", d, mode_at + 16, struct.pack("<d", -1.0)) == \
        "state field out of range: window weights are negative or not finite"
    f = t.PyStreamingCategoricalDataDriftFlush(["a", "b"], 10, 60).__getstate__()
    assert field_refusal("PyStreamingCategoricalDataDriftFlush", f, mode_at, struct.pack("<d", 0.5)) == \
        "state field out of range: flush rate is not a whole count"
    assert field_refusal("PyStreamingCategoricalDataDriftFlush", f, mode_at + 16, struct.pack("<Q", 2 ** 63)) == \
        "state field out of range: time since the last flush is out of range"
    assert field_refusal("PyStreamingCategoricalDataDriftFlush", f, mode_at + 24 + 8, struct.pack("<d", 0.5)) == \
        "state field out of range: window counts are not whole counts"


@pytest.mark.parametrize("name", CLASSES)
def test_every_truncation_and_bit_flip_is_refused_and_changes_nothing(name):
    rng = np.random.default_rng(7)
    state = state_of(name, 3, steps=4)
    target = sc.with_history(name, np.random.default_rng(5), 4)
    before = target.__getstate__()
    cls = getattr(t, name)
    cuts = sorted(set(rng.integers(0, len(state), 60)) | set(range(min(len(state), HEADER + 8))))
    for cut in cuts:
        with pytest.raises(ValueError):
            cls._from_state(state[:cut])
    for pos in rng.integers(0, len(state), 120):
        flipped = bytearray(state)
        flipped[pos] ^= 1 << int(rng.integers(0, 8))
        with pytest.raises(ValueError):
            cls._from_state(bytes(flipped))
        with pytest.raises(ValueError):
            target.__setstate__(bytes(flipped))
    if name in TIMELESS:
        assert target.__getstate__() == before


def test_fuzz_target_short_slice():
    """A bounded run of the loader fuzz target's input handler on random inputs."""
    atheris = pytest.importorskip("atheris")
    del atheris
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "fuzz"))
    try:
        import fuzz_state
    finally:
        sys.path.pop(0)
    rng = np.random.default_rng(11)
    for _ in range(3000):
        fuzz_state.TestOneInput(rng.bytes(int(rng.integers(0, 200))))


def rss_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * (os.sysconf("SC_PAGE_SIZE") // 1024)


def test_failed_loads_leak_nothing():
    state = state_of("PyStreamingCategoricalDataDriftDecay", 2, steps=5)
    bad = [state[:-7], state[:-1] + b"\0", with_payload(state, payload(state)[:-3]), b"TARVENN\x1a" + b"\0" * 40]
    target = sc.with_history("PyStreamingCategoricalDataDriftDecay", np.random.default_rng(1), 3)
    cls = t.PyStreamingCategoricalDataDriftDecay

    def run(n):
        for i in range(n):
            try:
                cls._from_state(bad[i % 4])
            except ValueError:
                pass
            try:
                target.__setstate__(bad[i % 4])
            except ValueError:
                pass

    run(2000)
    gc.collect()
    refs = [sys.getrefcount(b) for b in bad] + [sys.getrefcount(cls), sys.getrefcount(target)]
    blocks, before = sys.getallocatedblocks(), rss_kib()
    run(100_000)
    gc.collect()
    assert [sys.getrefcount(b) for b in bad] + [sys.getrefcount(cls), sys.getrefcount(target)] == refs
    assert sys.getallocatedblocks() - blocks < 100
    assert rss_kib() - before < 2048
