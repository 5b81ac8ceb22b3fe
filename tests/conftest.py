"""Shared fixtures and helpers of the test suite.

Layout: contract/ holds the surface every callable shares (registration, calling
convention, conversions, messages, leaks); one folder per family holds its
behaviour; properties/ the cross-family properties. Every test that hypothesis
drives is marked `property` (select with -m property, skip with -m "not property").
The helper modules next to this file (surface_calls, perf_helpers) are importable
from every folder."""
import ctypes
import ctypes.util
import os
import subprocess
import sys

import numpy as np
import pytest
from hypothesis import settings

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

# CI runs the same examples every time; local runs keep exploring.
settings.register_profile("ci", derandomize=True, deadline=None)
if os.environ.get("CI"):
    settings.load_profile("ci")

_libm = ctypes.CDLL(ctypes.util.find_library("m"))
_libm.logf.restype = ctypes.c_float
_libm.logf.argtypes = [ctypes.c_float]


def logf(x):
    """The C library's 32-bit natural logarithm (what the extension uses)."""
    return np.float32(_libm.logf(np.float32(x)))


@pytest.fixture
def run_with_env():
    """Runs a Python snippet in a fresh interpreter with extra environment variables
    (the settings are read once per process) and returns its stripped stdout."""

    def run(code, **env):
        full_env = dict(os.environ)
        for key in ("TARVENN_STABILITY_EPS", "TARVENN_DISTRIBUTION_HEURISTIC", "TARVENN_FORCE_BASELINE_ISA"):
            full_env.pop(key, None)
        full_env.update(env)
        out = subprocess.run([sys.executable, "-c", code], env=full_env, capture_output=True, text=True, check=True)
        return out.stdout.strip()

    return run


def pytest_configure(config):
    config.addinivalue_line("markers", "property: a property test driven by hypothesis (marked automatically)")


def pytest_collection_modifyitems(items):
    for item in items:
        test = getattr(item, "obj", None)
        if getattr(test, "is_hypothesis_test", False):
            item.add_marker(pytest.mark.property)
