#!/usr/bin/env bash
# Gives every fuzz target under fuzz/ SECONDS seconds (default 20) against the sanitizer build in
# .venv-sanitize (made by scripts/sanitize.sh). A crash, a sanitizer report, a call past one second
# or a broken oracle fails the script; the input that did it is saved under build/fuzz/.
#
#     scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
fuzz_seconds=${1:-20}
. .venv-sanitize/bin/activate

echo "== fuzz slice: ${fuzz_seconds}s per target"
mkdir -p build/fuzz
. scripts/sanitizer_toolchain.sh
# The fuzzer steers by the extension's own coverage counters, so a build without them (an
# ordinary or GCC build left in .venv-sanitize) is refused rather than fuzzed blind.
extension=$(python -c 'import importlib.util as u; print(u.find_spec("_tarvenn").origin)')
# grep -c reads nm's whole output: grep -q would stop early, and nm's broken pipe would fail the
# test under pipefail.
if ! nm -D "$extension" | grep -c __sanitizer_cov_8bit_counters_init >/dev/null; then
  echo "$extension has no coverage counters: build it with scripts/sanitize.sh" >&2
  exit 1
fi
# The ASan runtime defines weak no-op coverage callbacks, so atheris's own libFuzzer would count
# nothing beside it. libFuzzer from clang's runtime archive, preloaded ahead of ASan, takes those
# callbacks (ASan's link-order check is off for that reason).
"$clangxx" -shared -o build/fuzz/libfuzzer.so \
  -Wl,--whole-archive "$fuzzer_archive" -Wl,--no-whole-archive -lpthread
for target in fuzz/fuzz_*.py; do
  name=$(basename "$target" .py)
  log="build/fuzz/${name}.log"
  # New inputs go to a scratch corpus; the checked-in seeds under fuzz/corpus stay as they are.
  scratch="build/fuzz/corpus/${name#fuzz_}"
  mkdir -p "$scratch"
  # -detect_leaks=0 turns off libFuzzer's per-input leak scan (a full heap scan of the
  # interpreter after each call) and its exit-time scan, which at the end of a run sees the
  # fuzzer's own live objects and can outlast -timeout. Leaks are checked by the suite run above.
  # The sanitizer environment is set for the fuzzer's process only: a preloaded ASan runtime would
  # report the exit-time leaks of ordinary tools such as grep.
  status=0
  (. scripts/sanitize_env.sh
   export LD_PRELOAD="$root/build/fuzz/libfuzzer.so:$LD_PRELOAD"
   export ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0:verify_asan_link_order=0"
   exec python "$target" -max_total_time="$fuzz_seconds" -timeout=1 -detect_leaks=0 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$root/build/fuzz/${name}-" "$scratch" "fuzz/corpus/${name#fuzz_}" \
    >"$log" 2>&1) || status=$?
  if grep -q "Coverage symbols are being provided" "$log" || ! grep -q "inline 8-bit counters" "$log"; then
    echo "fuzz target ${name} ran without the extension's coverage; see $log" >&2
    exit 1
  fi
  grep -E "inline 8-bit counters|^#[0-9]+[[:space:]]+DONE|^stat::number_of_executed_units|^stat::new_units_added" "$log" \
    | sed "s/^/${name}: /" || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    echo "fuzz target ${name} failed (exit ${status}); the input is under build/fuzz/"
    exit 1
  fi
done
