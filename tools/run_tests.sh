#!/usr/bin/env bash
# Builds the developer tree (module and C++ tests), runs the C++ tests under CTest,
# then the Python tests against the module just built. Exits non-zero on any failure.
# Installs what it needs first: the Python test requirements with pip, and GoogleTest with
# apt-get when it runs as root and the headers are missing; otherwise it says what to run.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${CAUSTICA_BUILD_DIR:-build}
python=${PYTHON:-python3}
python_exe=$("$python" -c 'import sys; print(sys.executable)')

if ! "$python_exe" -m pip install -q --disable-pip-version-check -r tests/requirements.txt; then
  echo "run_tests.sh: could not install the Python test requirements; run" >&2
  echo "    $python_exe -m pip install -r tests/requirements.txt" >&2
  echo "(inside a virtual environment if this Python is the system's), then this script again." >&2
  exit 1
fi

have_gtest() {
  [[ -f /usr/include/gtest/gtest.h || -f /usr/local/include/gtest/gtest.h ]]
}
if ! have_gtest; then
  if [[ $(id -u) == 0 ]] && command -v apt-get >/dev/null; then
    echo "run_tests.sh: installing GoogleTest (libgtest-dev) with apt-get"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq libgtest-dev >/dev/null
  else
    cat >&2 <<EOF
run_tests.sh: GoogleTest is missing. Install it with
    sudo apt-get install libgtest-dev
and run this script again. Without root, run the Python tests against an installed module:
    $python_exe -m pip install . && $python_exe -m pip install -r tests/requirements.txt
    $python_exe -m pytest tests/python
EOF
    exit 1
  fi
fi

cmake -S . -B "$build" -DCAUSTICA_TESTS=ON -DPython_EXECUTABLE="$python_exe" ${CAUSTICA_CMAKE_ARGS:-}
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
PYTHONPATH="$PWD/$build/python${PYTHONPATH:+:$PYTHONPATH}" "$python_exe" -m pytest "$@"
