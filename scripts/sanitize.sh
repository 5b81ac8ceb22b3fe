#!/usr/bin/env bash
# The sanitizer stage: builds the extension with clang, AddressSanitizer, UndefinedBehaviorSanitizer
# and libFuzzer's coverage instrumentation into its own virtual environment (.venv-sanitize), runs
# the whole test suite under it with leak detection on, then gives every fuzz target a slice of
# FUZZ_SECONDS seconds (default 20; 0 skips fuzzing) against the same build. Any sanitizer report,
# test failure or fuzz finding fails the script, and so does a leak in the suite run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
venv=.venv-sanitize
fuzz_seconds=${FUZZ_SECONDS:-20}
. scripts/sanitizer_toolchain.sh

rm -rf "$venv"
python3 -m venv "$venv"
. "$venv/bin/activate"
# atheris is installed from its binary wheel only: no compiler other than the project's is needed.
pip install -q --only-binary=atheris 'atheris==3.0.0'
# The coverage counters cost the suite run little; the build is shared so that what the suite and
# the fuzzer check is the same binary.
CC="$clang" CXX="$clangxx" pip install -q '.[test]' \
  -Ccmake.define.TARVENN_SANITIZE=address,undefined,fuzzer-no-link \
  -Ccmake.build-type=RelWithDebInfo \
  -Cbuild-dir=build/sanitize-clang

echo "== test suite under ASan + UBSan"
# The RSS-growth test measures the process size, which ASan's quarantine of freed memory inflates;
# leak detection covers what it checks.
# The suites that start other programs (the browser, mypy and stubtest, the command line through
# subprocesses, Dask and Spark workers) run in the first stage only: the preloaded ASan runtime
# would land in programs that are not built with it.
# The sanitizer environment is set for the test process only (see scripts/fuzz.sh).
(. scripts/sanitize_env.sh
 exec python -m pytest -q -p no:cacheprovider \
  tests/contract tests/data_bias tests/model_bias tests/model_perf tests/segmentation tests/drift \
  tests/state tests/properties tests/test_fidelity.py tests/test_engine.py \
  --deselect tests/contract/test_leaks.py::test_failing_calls_of_every_family_do_not_leak \
  --deselect tests/state/test_state.py::test_failed_loads_leak_nothing)

if [ "$fuzz_seconds" != 0 ]; then
  scripts/fuzz.sh "$fuzz_seconds"
fi
echo "== sanitizer stage passed"
