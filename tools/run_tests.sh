#!/usr/bin/env bash
# Builds the developer tree (module and C++ tests), runs the C++ tests under CTest,
# then the Python tests against the module just built. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${CAUSTICA_BUILD_DIR:-build}
python=${PYTHON:-python3}
python_exe=$("$python" -c 'import sys; print(sys.executable)')

cmake -S . -B "$build" -DCAUSTICA_TESTS=ON -DPython_EXECUTABLE="$python_exe" ${CAUSTICA_CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
PYTHONPATH="$PWD/$build/python${PYTHONPATH:+:$PYTHONPATH}" "$python_exe" -m pytest "$@"
