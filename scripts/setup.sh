#!/usr/bin/env bash
# Shared set-up for the README commands: installs the system packages the build needs
# (only when one is missing) and finds a Python >= 3.13. Sourced, not run.
set -euo pipefail

vantorel_need_packages() {
  local missing=()
  command -v cmake >/dev/null || missing+=(cmake)
  command -v ninja >/dev/null || missing+=(ninja-build)
  command -v g++ >/dev/null || missing+=(g++)
  command -v pkg-config >/dev/null || missing+=(pkg-config)
  pkg-config --exists re2 2>/dev/null || missing+=(libre2-dev)
  [ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
  # The Unicode Character Database the regex tables are generated from.
  [ -f /usr/share/unicode/DerivedCoreProperties.txt ] || missing+=(unicode-data)
  vantorel_install_packages "${missing[@]}"
}

# Installs the Debian packages named (none: does nothing); needs root.
vantorel_install_packages() {
  [ $# -gt 0 ] || return 0
  echo "== installing: $*"
  if [ "$(id -u)" -ne 0 ]; then
    echo "error: missing packages ($*) and not root to install them" >&2
    return 1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null
}

# Prints the path of a Python interpreter >= 3.13: $PYTHON first, then python3.14 and
# python3.13 on PATH that actually run, then the pyenv installs (under $PYENV_ROOT, the
# user's ~/.pyenv, or root's).
vantorel_find_python() {
  local ok='import sys; sys.exit(0 if sys.version_info >= (3, 13) else 1)'
  local c
  if [ -n "${PYTHON:-}" ]; then
    if "$PYTHON" -c "$ok" 2>/dev/null; then command -v "$PYTHON"; return 0; fi
    echo "error: PYTHON=$PYTHON is not a Python >= 3.13" >&2
    return 1
  fi
  for c in python3.14 python3.13; do
    if command -v "$c" >/dev/null && "$c" -c "$ok" 2>/dev/null; then
      "$c" -c 'import sys; print(sys.executable)'; return 0
    fi
  done
  for c in "${PYENV_ROOT:-$HOME/.pyenv}"/versions/3.1[3-9]*/bin/python3 /root/.pyenv/versions/3.1[3-9]*/bin/python3; do
    if [ -x "$c" ] && "$c" -c "$ok" 2>/dev/null; then echo "$c"; return 0; fi
  done
  echo "error: no Python >= 3.13 found (set PYTHON)" >&2
  return 1
}

# Runs a command with its output held back; when it fails, shows that output (compiler errors
# included) on stderr and returns its status.
vantorel_quiet() {
  local log status=0
  log=$(mktemp)
  "$@" >"$log" 2>&1 || status=$?
  [ "$status" -eq 0 ] || cat "$log" >&2
  rm -f "$log"
  return "$status"
}
