#!/usr/bin/env bash
# Runs tools/memcheck_smoke.py (every function on its success and failure paths, from one
# thread and from several) under valgrind's memcheck, against the module built without
# sanitizers (RelWithDebInfo, in build-memcheck). Fails when valgrind reports a definite leak or
# an invalid access with a frame in the module, or when the smoke script itself fails. Reports
# wholly inside the interpreter or other libraries are counted and left alone.
#
# PYTHONMALLOC=malloc makes the interpreter allocate with malloc, so that valgrind sees every
# block instead of the pools of pymalloc. Needs valgrind (apt-get install valgrind).
#
#   tools/memcheck.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${CAUSTICA_MEMCHECK_BUILD_DIR:-build-memcheck}
[[ $build == /* ]] || build=$PWD/$build
python=${PYTHON:-python3}
python_exe=$("$python" -c 'import sys; print(sys.executable)')

if ! command -v valgrind >/dev/null; then
  echo "memcheck: valgrind is not installed" >&2
  exit 1
fi

cmake -S . -B "$build" -DCAUSTICA_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPython_EXECUTABLE="$python_exe"
cmake --build "$build" --target caustica -j "$(nproc)"

xml=$build/memcheck.xml
status=0
env PYTHONMALLOC=malloc PYTHONPATH="$build/python${PYTHONPATH:+:$PYTHONPATH}" \
  RAYON_NUM_THREADS=2 CAUSTICA_UNDER_VALGRIND=1 \
  valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite \
  --errors-for-leak-kinds=definite --num-callers=50 --child-silent-after-fork=yes \
  --xml=yes --xml-file="$xml" \
  "$python_exe" tools/memcheck_smoke.py || status=$?
if (( status != 0 )); then
  echo "memcheck: the smoke script failed under valgrind (exit $status)" >&2
fi

# Every error with a frame in the module is ours; print them with their stacks.
"$python_exe" - "$xml" <<'PY' || status=1
import re
import sys
import xml.etree.ElementTree as ET

ours = re.compile(r"(^|/)caustica[^/]*\.so$")
root = ET.parse(sys.argv[1]).getroot()
errors = root.findall("error")
mine = []
for error in errors:
    frames = error.findall("./stack/frame")
    if any(ours.search(frame.findtext("obj", "")) for frame in frames):
        mine.append(error)
print(f"memcheck: {len(errors)} report(s) in all, {len(mine)} with a frame in the module")
for error in mine:
    what = error.findtext("kind", "")
    text = error.findtext("what") or error.findtext("xwhat/text", "")
    print(f"\n{what}: {text}")
    for frame in error.findall("./stack/frame"):
        where = frame.findtext("fn") or frame.findtext("obj", "?")
        line = frame.findtext("line")
        place = f" ({frame.findtext('file')}:{line})" if line else ""
        print(f"    {where}{place}")
sys.exit(1 if mine else 0)
PY
exit "$status"
