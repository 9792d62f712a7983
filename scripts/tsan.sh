#!/usr/bin/env bash
# Runs module test files under ThreadSanitizer: a free-threaded CPython configured
# --with-thread-sanitizer (built once and cached, see scripts/ft_python.sh --tsan), the module
# built with -fsanitize=thread against it in build/tsan, then each test file named on the
# command line (default: tests/module/test_threads.py). Not part of scripts/test.sh.
# Each file's output goes to build/tsan/<file>.log; the run fails when a test fails or
# ThreadSanitizer reports anything. It installs no packages: run it after scripts/test.sh,
# which installs what both need.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
source scripts/setup.sh
TSAN_PY=$(bash scripts/ft_python.sh --tsan)
SUPPRESSIONS=$(dirname "$(dirname "$TSAN_PY")")/lib/suppressions_free_threading.txt
[ $# -gt 0 ] || set -- tests/module/test_threads.py

echo "== ThreadSanitizer build (module), Python: $TSAN_PY"
grep -qs "^Python_EXECUTABLE:[A-Z]*=$TSAN_PY\$" build/tsan/CMakeCache.txt || rm -rf build/tsan
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOREL_TSAN=ON \
  -DPython_EXECUTABLE="$TSAN_PY" >/dev/null
cmake --build build/tsan -j "$(nproc)" --target vantorel

status=0
for file in "$@"; do
  [ -f "$file" ] || { echo "error: no test file $file" >&2; exit 1; }
  dir=$(cd "$(dirname "$file")" && pwd)
  name=$(basename "$file" .py)
  log=$ROOT/build/tsan/$name.log
  echo "== $file under ThreadSanitizer (log: $log)"
  rc=0
  (cd "$dir" && PYTHONPATH="$ROOT/build/tsan/python:$ROOT/tests/module" PYTHONDONTWRITEBYTECODE=1 \
     TSAN_OPTIONS="suppressions=$SUPPRESSIONS halt_on_error=0 second_deadlock_stack=1 exitcode=66" \
     "$TSAN_PY" -m unittest -v "$name") >"$log" 2>&1 || rc=$?
  reports=$(grep -c '^WARNING: ThreadSanitizer:' "$log" || true)
  grep -E '^(Ran |OK|FAILED)' "$log" || true
  echo "ThreadSanitizer reports: $reports (exit status $rc)"
  if [ "$reports" -gt 0 ]; then
    grep -A 12 '^WARNING: ThreadSanitizer:' "$log" | head -n 80
  fi
  [ "$rc" -eq 0 ] || status=1
done
exit "$status"
