"""Fuzz target: the six drift classes: a constructor call, then a few method calls.
Run: python fuzz/fuzz_drift_classes.py [libFuzzer options] fuzz/corpus/drift_classes"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import atheris
import numpy  # noqa: F401  (imported first so that only the harness is instrumented)
import _tarvenn  # noqa: F401

with atheris.instrument_imports():
    import _harness

from _entries import DRIFT_CLASSES


def test_one(data):
    _harness.run_class(data, DRIFT_CLASSES)


if __name__ == "__main__":
    _harness.main(test_one)
