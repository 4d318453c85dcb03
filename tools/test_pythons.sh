#!/usr/bin/env bash
# Runs the Python test suite on every CPython that pyenv has beside the default python3: for
# each, a fresh virtual environment with tests/requirements.txt, the module built for that
# interpreter (CMake, no C++ tests) in build-py<X.Y>/, then pytest against it. Versions below
# the project's requires-python are skipped, and so is everything when pyenv or its versions
# are missing. Exits non-zero when any suite fails. Arguments go to pytest.
#
#   tools/test_pythons.sh                      every version found
#   CAUSTICA_PYTHONS="3.9 3.13" tools/test_pythons.sh -x -q
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
unset PYTHONPATH PYTHONHOME
export PYTHONNOUSERSITE=1 PIP_DISABLE_PIP_VERSION_CHECK=1

default=$(python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')
minimum=$(sed -n 's/^requires-python = ">=\([0-9.]*\)"$/\1/p' pyproject.toml)
[[ -n $minimum ]] || { echo "test_pythons.sh: no requires-python in pyproject.toml" >&2; exit 1; }

if ! command -v pyenv >/dev/null && [[ -x ${PYENV_ROOT:-$HOME/.pyenv}/bin/pyenv ]]; then
  PATH=${PYENV_ROOT:-$HOME/.pyenv}/bin:$PATH
fi
if ! command -v pyenv >/dev/null; then
  echo "test_pythons.sh: no pyenv, so no other CPython to test: skipped"
  exit 0
fi
root=$(pyenv root)

# at_least A B: version A (X.Y) is B or later.
at_least() { [[ $(printf '%s\n%s\n' "$2" "$1" | sort -V | head -n1) == "$2" ]]; }

declare -A newest=()
for name in $(pyenv versions --bare --skip-aliases 2>/dev/null || pyenv versions --bare); do
  [[ $name =~ ^([0-9]+\.[0-9]+)\.[0-9]+$ ]] || continue  # CPython releases only
  minor=${BASH_REMATCH[1]}
  [[ -x $root/versions/$name/bin/python ]] || continue
  if [[ $minor == "$default" ]]; then continue; fi
  if ! at_least "$minor" "$minimum"; then
    echo "test_pythons.sh: CPython $name is below requires-python >= $minimum: skipped"
    continue
  fi
  if [[ -z ${newest[$minor]:-} ]] || at_least "$name" "${newest[$minor]}"; then
    newest[$minor]=$name
  fi
done
wanted=${CAUSTICA_PYTHONS:-$(printf '%s\n' "${!newest[@]}" | sort -V | tr '\n' ' ')}
if [[ -z ${wanted// /} ]]; then
  echo "test_pythons.sh: pyenv has no CPython >= $minimum beside the default $default: skipped"
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/caustica-pythons.XXXXXX")
trap 'rm -rf "$work"' EXIT
results=()
failed=0
for minor in $wanted; do
  name=${newest[$minor]:-}
  if [[ -z $name ]]; then
    why="not installed"
    at_least "$minor" "$minimum" || why="below requires-python >= $minimum"
    [[ $minor == "$default" ]] && why="the default python3, tested by tools/run_tests.sh"
    echo "test_pythons.sh: CPython $minor: $why: skipped"
    results+=("$minor: $why, skipped")
    continue
  fi
  printf '\n== CPython %s (%s)\n' "$name" "$(date +%T)"
  venv=$work/venv-$minor
  build=$source_dir/build-py$minor
  python=$venv/bin/python
  began=$SECONDS
  if "$root/versions/$name/bin/python" -m venv "$venv" &&
     "$python" -m pip install -q -r tests/requirements.txt &&
     installed=$SECONDS &&
     cmake -S . -B "$build" -DCAUSTICA_TESTS=OFF -DPython_EXECUTABLE="$python" >/dev/null &&
     cmake --build "$build" -j "$(nproc)" --target caustica >/dev/null; then
    built=$SECONDS
    if PYTHONPATH="$build/python" "$python" -m pytest -p no:cacheprovider "$@"; then
      outcome=passed
    else
      outcome=FAILED
      failed=1
    fi
    results+=("$name: $outcome (requirements $((installed - began)) s, build $((built - installed)) s, tests $((SECONDS - built)) s)")
  else
    results+=("$name: FAILED to set up (venv, requirements or build)")
    failed=1
  fi
done

printf '\n== test_pythons.sh, beside the default CPython %s:\n' "$default"
printf '   %s\n' "${results[@]}"
exit $failed
