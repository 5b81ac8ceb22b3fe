#!/usr/bin/env bash
# Runs the argument and state suites of the ordinary build under valgrind memcheck: reads of
# freed or uninitialised memory and overruns that ASan's shadow memory can miss in code it does
# not instrument (NumPy, the interpreter). Leaks are left to the sanitizer stage. Run it inside an
# environment where the package is installed; the log goes to build/memcheck.log.
#
#     scripts/memcheck.sh [pytest arguments]      # default: tests/contract tests/state tests/segmentation
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
suites=("$@")
[ ${#suites[@]} -gt 0 ] || suites=(tests/contract tests/state tests/segmentation)
# The interpreter's small-object allocator reuses memory valgrind cannot see into; malloc makes
# every object an allocation of its own.
status=0
# The hypothesis tests are left out for time, and the RSS-growth tests because valgrind's allocator
# sizes the process differently.
PYTHONMALLOC=malloc valgrind --tool=memcheck --leak-check=no --error-exitcode=99 \
  --suppressions=scripts/valgrind-python.supp --log-file=build/memcheck.log \
  python -m pytest -q -p no:cacheprovider -m "not property" "${suites[@]}" \
  --deselect tests/contract/test_leaks.py::test_failing_calls_of_every_family_do_not_leak \
  --deselect tests/state/test_state.py::test_failed_loads_leak_nothing || status=$?
grep "ERROR SUMMARY" build/memcheck.log | tail -n 1
if [ "$status" -eq 99 ]; then
  echo "memcheck found errors: build/memcheck.log" >&2
fi
exit "$status"
