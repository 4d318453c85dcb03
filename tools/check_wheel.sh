#!/usr/bin/env bash
# Checks caustica as a user gets it: builds the wheel (pip wheel .) and the sdist (python -m
# build --sdist), checks what each contains, installs the wheel into a fresh virtual environment
# outside the source tree, and there runs
#   - the Python tests, taken from the sdist, against the installed module,
#   - mypy.stubtest on the installed module and its stub,
#   - mypy --strict on examples/typed_usage.py, then the example itself,
#   - importlib.metadata.version("caustica") against the version in pyproject.toml.
# The wheel's module must not hold the source directory it was built from.
# Every check runs even when an earlier one failed; the script exits non-zero when any failed,
# and at once when a build fails. Needs python3 with pip and venv, a C++20 compiler, and pip
# reaching a package index (the builds fetch scikit-build-core, and CMake and Ninja where the
# machine lacks them). The work happens in a temporary directory, removed at the end unless
# CAUSTICA_KEEP_WORK=1; on success the wheel and the sdist are copied into dist/.
#
#   tools/check_wheel.sh            PYTHON=python3.12 tools/check_wheel.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
python=${PYTHON:-python3}

# Nothing from the caller's environment may put a build tree or user packages on sys.path.
unset PYTHONPATH PYTHONHOME MYPYPATH
export PYTHONNOUSERSITE=1 PIP_DISABLE_PIP_VERSION_CHECK=1
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}

work=$(mktemp -d "${TMPDIR:-/tmp}/caustica-wheel.XXXXXX")
cleanup() {
  if [[ ${CAUSTICA_KEEP_WORK:-0} == 1 ]]; then
    echo "work directory kept: $work"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

step() { printf '\n== %s\n' "$*"; }
failures=()
# check NAME COMMAND...: runs one check and records its failure.
check() {
  local name=$1
  shift
  step "$name"
  if ! "$@"; then
    failures+=("$name")
    echo "FAILED: $name" >&2
  fi
}
in_dir() {
  local dir=$1
  shift
  (cd "$dir" && "$@")
}

version=$("$python" - pyproject.toml <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
project = re.search(r"^\[project\]\s*$(.*?)(?=^\[|\Z)", text, re.M | re.S)
version = project and re.search(r'^version\s*=\s*"([^"]+)"\s*$', project.group(1), re.M)
if not version:
    sys.exit("pyproject.toml: no version in [project]")
print(version.group(1))
PY
)
echo "caustica $version from $source_dir, work in $work"

step "build the wheel"
"$python" -m pip wheel --no-deps -w "$work/wheelhouse" "$source_dir"
wheels=("$work"/wheelhouse/caustica-"$version"-*.whl)
if [[ ${#wheels[@]} != 1 || ! -f ${wheels[0]} ]]; then
  echo "expected one caustica-$version wheel in $work/wheelhouse" >&2
  exit 1
fi
wheel=${wheels[0]}

wheel_contents() {
  "$python" - "$wheel" "$version" "$source_dir" <<'PY'
import re, sys, zipfile
wheel, version, source_dir = sys.argv[1:]
source_stub = source_dir + "/src/lib/caustica.pyi"
stub = open(source_stub, "rb").read()
problems = []
with zipfile.ZipFile(wheel) as archive:
    names = archive.namelist()
    top = sorted(n for n in names if "/" not in n)
    modules = [n for n in top if re.fullmatch(r"caustica(\.[\w-]+)?\.so", n)]
    if len(modules) != 1:
        problems.append(f"one extension module caustica*.so at the top level, got {modules}")
    elif source_dir.encode() in archive.read(modules[0]):
        problems.append(f"{modules[0]} holds the build machine's source directory {source_dir}")
    if sorted(set(top) - set(modules)) != ["caustica.pyi"]:
        problems.append(f"the top level holds the module and caustica.pyi only, got {top}")
    elif archive.read("caustica.pyi") != stub:
        problems.append("caustica.pyi differs from src/lib/caustica.pyi")
    stubs = sorted(n for n in names if n.startswith("caustica-stubs/"))
    if stubs != ["caustica-stubs/__init__.pyi"]:
        problems.append(f"caustica-stubs holds __init__.pyi only, got {stubs}")
    elif archive.read("caustica-stubs/__init__.pyi") != stub:
        problems.append("caustica-stubs/__init__.pyi differs from src/lib/caustica.pyi")
    if any(n.rsplit("/", 1)[-1] == "py.typed" for n in names):
        problems.append("no py.typed marker: it applies to packages, and caustica is a module")
    metadata = f"caustica-{version}.dist-info/METADATA"
    if metadata not in names:
        problems.append(f"{metadata} missing")
    elif f"\nVersion: {version}\n" not in archive.read(metadata).decode():
        problems.append(f"{metadata} does not say Version: {version}")
for name in names:
    print("  ", name)
if problems:
    sys.exit("wheel: " + "\n       ".join(problems))
PY
}
check "the wheel's contents: $(basename "$wheel")" wheel_contents

step "create a fresh virtual environment"
venv=$work/venv
"$python" -m venv "$venv"
vpython=$venv/bin/python
"$vpython" -m pip install -q "$wheel" -r "$source_dir/tests/requirements.txt" mypy build

step "build the sdist"
"$vpython" -m build --sdist --outdir "$work/sdist" "$source_dir"
sdist=$work/sdist/caustica-$version.tar.gz
if [[ ! -f $sdist ]]; then
  echo "expected $sdist" >&2
  exit 1
fi

sdist_contents() {
  "$vpython" - "$sdist" "$version" "$source_dir" <<'PY'
import sys, tarfile
from pathlib import Path
sdist, version, source = sys.argv[1], sys.argv[2], Path(sys.argv[3])
prefix = f"caustica-{version}/"
with tarfile.open(sdist) as archive:
    names = {m.name[len(prefix):] for m in archive.getmembers()
             if m.isfile() and m.name.startswith(prefix)}
    pkg_info = archive.extractfile(prefix + "PKG-INFO").read().decode()
wanted = {"pyproject.toml", "CMakeLists.txt", "README.md", "src/lib/caustica.pyi",
          "examples/typed_usage.py", "tests/requirements.txt"}
for pattern in ["tools/*.py", "tests/data/*", "tests/python/*.py"]:
    found = {str(p.relative_to(source)) for p in source.glob(pattern) if p.is_file()}
    if not found:
        sys.exit(f"sdist: the source tree has nothing matching {pattern}")
    wanted |= found
missing = sorted(wanted - names)
built = sorted(n for n in names if n.endswith(".so") or n.startswith(("build", "dist/")))
problems = []
if missing:
    problems.append(f"missing {missing}")
if built:
    problems.append(f"holds build products {built}")
if f"\nVersion: {version}\n" not in pkg_info:
    problems.append(f"PKG-INFO does not say Version: {version}")
if problems:
    sys.exit("sdist: " + "\n       ".join(problems))
print(f"   {len(names)} files, among them the {len(wanted)} required ones")
PY
}
check "the sdist's contents: $(basename "$sdist")" sdist_contents

tree=$work/tree
mkdir "$tree"
tar -xzf "$sdist" -C "$tree" --strip-components=1

module_location() {
  "$vpython" - <<'PY'
import sysconfig
from pathlib import Path
import caustica
module = Path(caustica.__file__).resolve()
site = Path(sysconfig.get_paths()["platlib"]).resolve()
print(f"   {module}")
if module.parent != site:
    raise SystemExit(f"caustica was imported from {module}, not from {site}")
PY
}
check "the module is imported from the environment's site-packages" in_dir "$work" module_location

check "Python tests, from the sdist, against the installed module" in_dir "$tree" \
  env CAUSTICA_EXPECT_INSTALLED=1 "$vpython" -m pytest -p no:cacheprovider tests/python

check "stubtest" in_dir "$work" "$vpython" -m mypy.stubtest caustica

mkdir "$work/example"
cp "$tree/examples/typed_usage.py" "$work/example/"
check "mypy --strict on the typed example" in_dir "$work/example" \
  "$vpython" -m mypy --strict typed_usage.py
check "the typed example runs" in_dir "$work/example" "$vpython" typed_usage.py

installed_version() {
  local installed
  installed=$(in_dir "$work" "$vpython" -c \
    'import importlib.metadata as m; print(m.version("caustica"))') || return 1
  echo "   importlib.metadata.version(\"caustica\") = $installed, pyproject.toml: $version"
  [[ $installed == "$version" ]]
}
check "the installed version is the project's version" installed_version

if (( ${#failures[@]} )); then
  step "wheel check FAILED, ${#failures[@]} check(s):"
  printf '   %s\n' "${failures[@]}"
  exit 1
fi
mkdir -p "$source_dir/dist"
cp "$wheel" "$sdist" "$source_dir/dist/"
step "wheel check passed: dist/$(basename "$wheel"), dist/$(basename "$sdist")"
