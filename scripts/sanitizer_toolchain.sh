# Sourced: the compiler and runtimes of the sanitizer stage. The sanitizer build is compiled by
# clang so that its coverage instrumentation (-fsanitize=fuzzer-no-link: inline 8-bit counters, a
# PC table, comparison traces) is the kind libFuzzer counts; GCC's coverage hooks are not, and a
# fuzzer over a GCC build steers by the Python harness alone. clang 19 compiles this C++23 code
# against GCC 12's standard library (clang 14 cannot: its concepts level hides <expected>). CLANG
# overrides the choice.
clang=${CLANG:-clang-19}
if ! command -v "$clang" >/dev/null 2>&1; then
  echo "$clang is missing: apt-get install clang-19 libclang-rt-19-dev" >&2
  return 1 2>/dev/null || exit 1
fi
clangxx=${clang/clang/clang++}
asan_runtime=$("$clang" -print-file-name=libclang_rt.asan-x86_64.so)
fuzzer_archive=$("$clang" -print-file-name=libclang_rt.fuzzer_no_main-x86_64.a)
if [ ! -f "$asan_runtime" ] || [ ! -f "$fuzzer_archive" ]; then
  echo "clang's sanitizer runtimes are missing: apt-get install libclang-rt-19-dev" >&2
  return 1 2>/dev/null || exit 1
fi
