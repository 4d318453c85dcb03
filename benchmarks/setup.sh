#!/usr/bin/env bash
# Makes benchmarks/.venv: caustica built from this tree, and the packages it is compared with.
# They are needed by the benchmarks only, never by caustica itself.
#
#   benchmarks/setup.sh && benchmarks/.venv/bin/python benchmarks/compare.py
#
# It also builds kernel_bench (build-bench/, Release) for the cost model of compare.py.
#
# A peer that does not install is reported and left out; compare.py then prints its rows as
# unavailable.
set -uo pipefail
cd "$(dirname "$0")/.."
python=${PYTHON:-python3}
venv=benchmarks/.venv

"$python" -m venv "$venv" || exit 1
"$venv/bin/python" -m pip install --quiet --upgrade pip || exit 1
"$venv/bin/python" -m pip install --quiet numpy scipy mpmath || exit 1
"$venv/bin/python" -m pip install --quiet --force-reinstall --no-deps . || exit 1
for peer in MulensModel VBMicrolensing; do
  if ! "$venv/bin/python" -m pip install --quiet "$peer"; then
    echo "setup.sh: $peer did not install; its rows will be marked unavailable" >&2
  fi
done
# kernel_bench gives the cost model its lines for the kernels alone; compare.py leaves them out
# without it.
if command -v cmake >/dev/null; then
  if ! { cmake -S . -B build-bench -DCAUSTICA_BENCHMARKS=ON -DCAUSTICA_TESTS=OFF \
           -DPython_EXECUTABLE="$(command -v "$python")" >/dev/null &&
         cmake --build build-bench -j2 --target kernel_bench >/dev/null; }; then
    echo "setup.sh: kernel_bench did not build; the cost model will leave the kernels out" >&2
  fi
else
  echo "setup.sh: no cmake; the cost model will leave the kernels out" >&2
fi
"$venv/bin/python" -m pip list --format=freeze | grep -i -E '^(caustica|numpy|scipy|mpmath|mulensmodel|vbmicrolensing)=='
