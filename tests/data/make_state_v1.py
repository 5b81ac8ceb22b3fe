"""Writes the version-1 state files of tests/data: one object of each class with a
fixed history, saved as <class>.v1.bin, and what each shows in state_v1_expected.json.
Run once when the format version was made; the files are kept so that a later change
of the format or the loader cannot silently break saved monitors. Do not regenerate
them for version 1: a new version gets new files next to these.

    python tests/data/make_state_v1.py
"""
import json
import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))

import state_cases as sc  # noqa: E402


def main():
    expected = {}
    for i, name in enumerate(sc.CLASSES):
        obj = sc.with_history(name, np.random.default_rng(1000 + i), steps=8)
        state = obj.__getstate__()
        assert state[8:10] == b"\x01\x00"
        with open(os.path.join(HERE, f"{name}.v1.bin"), "wb") as f:
            f.write(state)
        expected[name] = sc.observe(obj, name)
    with open(os.path.join(HERE, "state_v1_expected.json"), "w") as f:
        json.dump(expected, f, indent=1, sort_keys=True)
        f.write("\n")


if __name__ == "__main__":
    main()
