#!/usr/bin/env bash
# Runs bench/ratios.py on the release build that `bash scripts/test.sh` made, with the Python
# that build was configured for. Builds and installs nothing; arguments go to ratios.py.
set -euo pipefail
cd "$(dirname "$0")/.."
PY=$(sed -n 's/^Python_EXECUTABLE:[A-Z]*=//p' build/release/CMakeCache.txt 2>/dev/null || true)
if [ -z "$PY" ] || ! compgen -G 'build/release/python/vantorel*.so' >/dev/null; then
  echo "error: no release build in build/release; run 'bash scripts/test.sh' first" >&2
  exit 1
fi
PYTHONPATH=build/release/python exec "$PY" bench/ratios.py "$@"
