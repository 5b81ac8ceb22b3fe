"""The kernels with wider instruction-set variants give the same bits when forced to
their baseline code: the whole batch surface, in a process started with
TARVENN_FORCE_BASELINE_ISA=1, against this process's widest kernels."""
import os

import isa_probe

TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def test_baseline_kernels_give_the_same_bits_as_the_widest(run_with_env):
    code = "import isa_probe; print(isa_probe.digest())"
    pythonpath = os.pathsep.join([TESTS, os.environ.get("PYTHONPATH", "")])
    forced = run_with_env(code, TARVENN_FORCE_BASELINE_ISA="1", PYTHONPATH=pythonpath)
    assert forced == isa_probe.digest()
