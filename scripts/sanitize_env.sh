# Sourced: the environment under which the sanitizer build runs inside CPython. The interpreter's
# own allocator is replaced by malloc so that AddressSanitizer sees every allocation, and clang's
# ASan runtime (which carries the UBSan handlers too) is preloaded because the interpreter itself
# is not instrumented.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/sanitizer_toolchain.sh"
export PYTHONMALLOC=malloc
export LD_PRELOAD="$asan_runtime"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1:allocator_may_return_null=1
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
