"""Type information: the stub of `_tarvenn` is found from the installed wheel and matches the
module; the package passes mypy --strict."""

import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

import tarvenn

pytest.importorskip("mypy")


@pytest.fixture(scope="module")
def workdir(tmp_path_factory):
    # One directory (and one mypy cache) for the three runs; outside the source tree, so that
    # only the installed packages can answer.
    return tmp_path_factory.mktemp("typing")


def run(args, cwd):
    return subprocess.run([sys.executable, "-m", *args], cwd=cwd, capture_output=True, text=True, timeout=600)


def probe_installed_stub(tmp_path: Path):
    """mypy, run outside the source tree, must type a module call from the installed stub (stubtest
    alone reports success when it finds no stub for a module whose name starts with _)."""
    (tmp_path / "probe.py").write_text(
        textwrap.dedent(
            """
            import numpy as np
            import _tarvenn
            r = _tarvenn.py_data_bias_analyzer(np.zeros(3), np.zeros(3), 1, 1)
            reveal_type(r)
            reveal_type(_tarvenn.py_data_bias_runtime_check(r, r))
            _tarvenn.py_data_bias_analyzer(np.zeros(3), np.zeros(3), 1)
            """
        )
    )
    out = run(["mypy", "probe.py"], tmp_path)
    assert 'Revealed type is "dict[builtins.str, builtins.float]"' in out.stdout or (
        'Revealed type is "dict[str, float]"' in out.stdout
    ), out.stdout
    assert "RuntimeReport" in out.stdout
    assert 'Missing positional argument "ground_truth_label_or_threshold"' in out.stdout, out.stdout


def test_mypy_finds_the_installed_stub(workdir: Path):
    probe_installed_stub(workdir)


def test_stubtest_passes_against_the_built_module(workdir: Path):
    probe_installed_stub(workdir)
    out = run(["mypy.stubtest", "_tarvenn"], workdir)
    assert out.returncode == 0, out.stdout + out.stderr
    assert "Success: no issues found in 1 module" in out.stdout, out.stdout


def test_package_passes_mypy_strict(workdir: Path):
    package = Path(tarvenn.__file__).parent
    assert "site-packages" in str(package) or "dist-packages" in str(package)
    assert (package / "py.typed").exists(), "py.typed is not installed"
    out = run(["mypy", "--strict", "-p", "tarvenn"], workdir)
    assert out.returncode == 0, out.stdout + out.stderr
