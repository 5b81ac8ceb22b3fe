"""Fuzz target: the eight data bias and model bias functions.
Run: python fuzz/fuzz_bias.py [libFuzzer options] fuzz/corpus/bias"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import atheris
import numpy  # noqa: F401  (imported first so that only the harness is instrumented)
import _tarvenn  # noqa: F401

with atheris.instrument_imports():
    import _harness

from _entries import BIAS_FUNCTIONS


def test_one(data):
    _harness.run_function(data, BIAS_FUNCTIONS)


if __name__ == "__main__":
    _harness.main(test_one)
