#!/usr/bin/env bash
# Builds everything and runs every test: engine and module tests under ASan and UBSan,
# then again in the release build, then the module tests on a free-threaded CPython.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
vantorel_need_packages
PY=$(vantorel_find_python)
# First, so that a missing free-threaded interpreter stops the run before the long builds.
FT_PY=$(bash scripts/ft_python.sh)
WERROR=OFF
[ "${CI:-}" = "true" ] && WERROR=ON
JOBS=$(nproc)

echo "== sanitizer build (engine and module tests under ASan and UBSan), Python: $PY"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOREL_SANITIZE=ON \
  -DVANTOREL_BUILD_MODULE=ON -DPython_EXECUTABLE="$PY" -DVANTOREL_WERROR=$WERROR >/dev/null
cmake --build build/asan -j "$JOBS"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j "$JOBS"

echo "== release build (engine and module tests), Python: $PY"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE="$PY" \
  -DVANTOREL_WERROR=$WERROR >/dev/null
cmake --build build/release -j "$JOBS"
ctest --test-dir build/release --output-on-failure -j "$JOBS"

echo "== free-threaded build (module tests), Python: $FT_PY"
# A folder configured for another interpreter would keep that one's headers: start afresh.
grep -qs "^Python_EXECUTABLE:[A-Z]*=$FT_PY\$" build/ft/CMakeCache.txt || rm -rf build/ft
cmake -S . -B build/ft -G Ninja -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE="$FT_PY" \
  -DVANTOREL_WERROR=$WERROR >/dev/null
cmake --build build/ft -j "$JOBS" --target vantorel
ctest --test-dir build/ft --output-on-failure -R '^module_tests$'
