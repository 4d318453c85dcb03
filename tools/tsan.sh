#!/usr/bin/env bash
# Builds the worker pool's C++ tests with ThreadSanitizer in build-tsan and runs them under
# CTest. Any report fails the run. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${CAUSTICA_TSAN_BUILD_DIR:-build-tsan}
python=${PYTHON:-python3}
python_exe=$("$python" -c 'import sys; print(sys.executable)')
jobs=$(nproc)

cmake -S . -B "$build" -DCAUSTICA_TESTS=ON -DCAUSTICA_SANITIZE=thread \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPython_EXECUTABLE="$python_exe"
cmake --build "$build" --target test_parallel -j "$jobs"
# Only the pool's tests are built here; the other layers' show up as NOT_BUILT and are left out.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
  ctest --test-dir "$build" --output-on-failure -j "$jobs" -R '(^|/)Parallel' -E '_NOT_BUILT$'
