#!/usr/bin/env bash
# Builds the module and the C++ tests with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan, runs the C++ tests under CTest with LeakSanitizer on (they must be leak-free),
# then the whole Python test suite against that build, with the ASan runtime preloaded into the
# interpreter. Any sanitizer report fails the run. Exits non-zero on any failure.
#
# The interpreter itself is not instrumented: its own allocations are not leak-checked, and
# tests that cannot run under ASan skip themselves when CAUSTICA_SANITIZERS names "address"
# (those that request impossible allocations, which ASan's operator new answers by aborting
# instead of throwing, and those that measure the process's resident size).
#
#   tools/sanitize.sh [pytest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${CAUSTICA_ASAN_BUILD_DIR:-build-asan}
[[ $build == /* ]] || build=$PWD/$build
python=${PYTHON:-python3}
python_exe=$("$python" -c 'import sys; print(sys.executable)')
jobs=$(nproc)

cmake -S . -B "$build" -DCAUSTICA_TESTS=ON -DCAUSTICA_SANITIZE=address,undefined \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPython_EXECUTABLE="$python_exe"
cmake --build "$build" -j "$jobs"

# -fno-sanitize-recover makes every UBSan finding fatal; these make it readable as well.
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
asan_common="detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"

echo "== C++ tests under ASan+UBSan, leaks checked"
# Not the pool's fork tests: the ASan runtime of GCC 12 does not hold its allocator's locks
# across fork(), so a child forked while a parent's thread allocates can wait forever on a lock
# that thread held (seen: the child's new workers stuck in the allocator). They run in the
# normal build.
ASAN_OPTIONS="$asan_common:detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
  ctest --test-dir "$build" --output-on-failure -j "$jobs" -E '^ParallelFork\.'

echo "== Python tests against the ASan+UBSan module"
# ASan must be the first library in the process. It looks up the real __cxa_throw when it starts,
# and the interpreter does not link libstdc++, so that comes first too: otherwise the module's
# first throw (a panic on its way to the boundary) fails ASan's own CHECK. libubsan comes in as
# the module's dependency.
preload=()
for library in libasan.so libstdc++.so; do
  path=$(g++ -print-file-name="$library")
  if [[ ! -e $path ]]; then
    echo "cannot find $library (g++ -print-file-name=$library gave $path)" >&2
    exit 1
  fi
  preload+=("$path")
done
# pytest captures file descriptor 2, and a report written there by a dying process would be
# lost with it: reports go to files (one per process, subprocesses of the tests included).
logs=$build/sanitizer-logs
rm -rf "$logs"
mkdir -p "$logs"
status=0
# detect_leaks=0: the interpreter's own allocations at exit are not ours to answer for.
env LD_PRELOAD="${preload[*]}${LD_PRELOAD:+ $LD_PRELOAD}" \
  ASAN_OPTIONS="$asan_common:detect_leaks=0:log_path=$logs/asan${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
  UBSAN_OPTIONS="$UBSAN_OPTIONS:log_path=$logs/ubsan" \
  CAUSTICA_SANITIZERS=address,undefined \
  PYTHONPATH="$build/python${PYTHONPATH:+:$PYTHONPATH}" \
  "$python_exe" -m pytest -p no:cacheprovider "$@" || status=$?

shopt -s nullglob
reports=("$logs"/*)
if (( ${#reports[@]} )); then
  for report in "${reports[@]}"; do
    printf '\n== sanitizer report %s\n' "$report" >&2
    cat "$report" >&2
  done
  echo "sanitize: ${#reports[@]} sanitizer report(s)" >&2
  exit 1
fi
exit "$status"
