"""The version-1 state files kept in tests/data (made once by make_state_v1.py) still
load, show what they showed when they were saved, and save back to the same bytes."""
import json
import os
import struct

import pytest

import _tarvenn as t
import state_cases as sc

DATA = os.path.join(os.path.dirname(__file__), "data")
with open(os.path.join(DATA, "state_v1_expected.json")) as f:
    EXPECTED = json.load(f)


# The class tags of the format; they never change.
TAGS = {"PyDataBiasStreaming": 1, "PyModelBiasStreaming": 2, "PyLinearRegressionStreaming": 3,
        "PyLogisticRegressionStreaming": 4, "PyBinaryClassificationStreaming": 5, "PyContinuousDataDrift": 6,
        "PyCategoricalDataDrift": 7, "PyStreamingContinuousDataDriftFlush": 8,
        "PyStreamingContinuousDataDriftDecay": 9, "PyStreamingCategoricalDataDriftFlush": 10,
        "PyStreamingCategoricalDataDriftDecay": 11}


def read(name):
    with open(os.path.join(DATA, f"{name}.v1.bin"), "rb") as f:
        return f.read()


@pytest.mark.parametrize("name", sc.CLASSES)
def test_version_1_file_loads_as_saved(name):
    state = read(name)
    magic, version, tag, length = struct.unpack_from("<8sHHQ", state)
    assert (magic, version, tag, length) == (b"TARVENN\x1a", 1, TAGS[name], len(state) - 24)
    assert struct.unpack("<I", state[-4:])[0] == sc.crc32c(state[:-4])
    obj = getattr(t, name)._from_state(state)
    if "Flush" not in name:
        assert obj.__getstate__() == state
    assert sc.observe(obj, name) == EXPECTED[name]


def test_version_1_data_bias_fields_read_by_hand():
    # baseline record (7 f32), two rules (kind, threshold), four u64 counts
    body = sc.payload(read("PyDataBiasStreaming"))
    assert len(body) == 7 * 4 + 4 + 4 * 8
    assert struct.unpack_from("<4B", body, 28) == (4, 1, 4, 1)   # "== 1" for both inputs
    a_pos, a_count, d_pos, d_count = struct.unpack_from("<4Q", body, 32)
    assert a_pos <= a_count and d_pos <= d_count and a_count + d_count > 0
