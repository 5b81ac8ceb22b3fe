"""Fuzz target: the nine model performance and two one-shot drift functions.
Run: python fuzz/fuzz_perf_drift.py [libFuzzer options] fuzz/corpus/perf_drift"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import atheris
import numpy  # noqa: F401  (imported first so that only the harness is instrumented)
import _tarvenn  # noqa: F401

with atheris.instrument_imports():
    import _harness

from _entries import PERF_DRIFT_FUNCTIONS


def test_one(data):
    _harness.run_function(data, PERF_DRIFT_FUNCTIONS)


if __name__ == "__main__":
    _harness.main(test_one)
