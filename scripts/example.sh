#!/usr/bin/env bash
# Builds the module (release) and runs the example that parses a configuration file and an
# access log with it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
vantorel_need_packages
PY=$(vantorel_find_python)
vantorel_quiet cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE="$PY"
vantorel_quiet cmake --build build/release -j "$(nproc)" --target vantorel
PYTHONPATH="$PWD/build/release/python" "$PY" examples/config_report.py
