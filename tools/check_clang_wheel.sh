#!/usr/bin/env bash
# Builds the wheel with clang instead of g++, checks that clang compiled it, installs it into a
# fresh virtual environment and runs the package, magnification and error tests against it.
# Needs clang++ (Debian: apt-get install clang) and what tools/check_wheel.sh needs.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
python=${PYTHON:-python3}
unset PYTHONPATH PYTHONHOME
export PYTHONNOUSERSITE=1 PIP_DISABLE_PIP_VERSION_CHECK=1
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}

work=$(mktemp -d "${TMPDIR:-/tmp}/caustica-clang.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Unstripped, so that the module keeps the .comment section naming its compiler.
CC=clang CXX=clang++ "$python" -m pip wheel -q --no-deps --config-settings=install.strip=false \
  -w "$work/wheelhouse" "$source_dir"
wheel=$(ls "$work"/wheelhouse/caustica-*.whl)
"$python" -m zipfile -e "$wheel" "$work/unpacked"
if ! readelf -p .comment "$work"/unpacked/caustica*.so | grep -q clang; then
  echo "check_clang_wheel.sh: the module in $(basename "$wheel") was not compiled by clang" >&2
  exit 1
fi
"$python" -m venv "$work/venv"
"$work/venv/bin/python" -m pip install -q "$wheel" -r tests/requirements.txt
cd "$work"
CAUSTICA_EXPECT_INSTALLED=1 "$work/venv/bin/python" -m pytest -p no:cacheprovider -q "$source_dir/tests/python/test_package.py" \
  "$source_dir/tests/python/test_magnification.py" "$source_dir/tests/python/test_errors.py"
