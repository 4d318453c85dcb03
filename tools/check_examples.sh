#!/usr/bin/env bash
# Runs every example the way the README's examples table says a user does: for each row, a
# fresh virtual environment with the caustica wheel and only the packages that row's install
# command names, then the row's run command, in a copy of examples/ outside the source tree
# (so nothing of the tree is importable and no figure lands in it). Exits non-zero when an
# example fails or the README lists one that does not exist, or misses one that does.
#
#   tools/check_examples.sh [WHEEL]     (default: dist/caustica-<version>-*.whl, else built)
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
python=${PYTHON:-python3}
unset PYTHONPATH PYTHONHOME MYPYPATH
export PYTHONNOUSERSITE=1 PIP_DISABLE_PIP_VERSION_CHECK=1 MPLBACKEND=Agg

work=$(mktemp -d "${TMPDIR:-/tmp}/caustica-examples.XXXXXX")
trap 'rm -rf "$work"' EXIT

version=$(sed -n 's/^version = "\([^"]*\)"$/\1/p' pyproject.toml | head -n1)
wheel=${1:-}
if [[ -z $wheel ]]; then
  wheel=$(ls -t dist/caustica-"$version"-*.whl 2>/dev/null | head -n1 || true)
fi
if [[ -z $wheel ]]; then
  echo "== building the wheel"
  CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)} \
    "$python" -m pip wheel -q --no-deps -w "$work/wheelhouse" .
  wheel=$(ls "$work"/wheelhouse/caustica-*.whl)
fi
wheel=$(realpath "$wheel")
echo "wheel: $wheel"

# The table's rows: example path, packages beside caustica ("-" for none), run command, with
# tabs between them.
"$python" - README.md > "$work/rows" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
table = re.search(r"<!-- examples: begin -->\n(.*?)<!-- examples: end -->", text, re.S)
if not table:
    sys.exit("README.md: no examples table between <!-- examples: begin --> and <!-- examples: end -->")
for line in table.group(1).splitlines()[2:]:
    cells = [c.strip() for c in line.strip().strip("|").split("|")]
    example = re.fullmatch(r"`(examples/[\w.]+\.py)`", cells[0]).group(1)
    install = re.match(r"`python3 -m pip install \.((?: [^`]+)?)`", cells[2]).group(1).split()
    run = re.fullmatch(r"`python3 (examples/[^`]+)`", cells[3]).group(1)
    print(example, " ".join(p.strip('"') for p in install) or "-", run, sep="\t")
PY

failures=()
listed=()
cp -r examples "$work/examples"
# An example may compare with the committed reference data, as it does run from a clone.
mkdir -p "$work/tests" && cp -r tests/data "$work/tests/data"
while IFS=$'\t' read -r example packages run; do
  listed+=("$example")
  [[ $packages == - ]] && packages=
  printf '\n== %s (needs: caustica %s)\n' "$example" "$packages"
  # Examples that need the same packages share one environment.
  venv=$work/venv-$(printf '%s' "$packages" | md5sum | cut -c1-8)
  if [[ ! -d $venv ]]; then
    "$python" -m venv "$venv"
    # shellcheck disable=SC2086  # the packages are words
    if ! "$venv/bin/python" -m pip install -q "$wheel" $packages; then
      failures+=("$example: install")
      rm -rf "$venv"
      continue
    fi
  fi
  read -r -a command <<< "$run"
  if ! (cd "$work" && "$venv/bin/python" "${command[@]}"); then
    failures+=("$example")
  fi
done < "$work/rows"

for file in examples/*.py; do
  if [[ ! " ${listed[*]} " == *" $file "* ]]; then
    failures+=("$file: not in the README's examples table")
  fi
done
if (( ${#failures[@]} )); then
  printf '\n== examples FAILED:\n'
  printf '   %s\n' "${failures[@]}"
  exit 1
fi
printf '\n== every example ran with only what the README lists\n'
