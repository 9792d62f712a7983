#!/usr/bin/env bash
# Prints the path of a free-threaded CPython 3.13 (configured --disable-gil) for the tests;
# with --tsan, of one configured --disable-gil --with-thread-sanitizer instead.
#
# VANTOREL_FT_PYTHON, when set, names the interpreter to use (not the --tsan one). Otherwise
# the interpreter is built once into ${XDG_CACHE_HOME:-~/.cache}/vantorel/cpython-3.13-ft
# (cpython-3.13-ft-tsan) and reused on later runs. Its source is python3.13 from Debian's trixie suite, fetched with apt's own client
# under a private configuration (the machine's apt state stays untouched) and checked
# against the archive's signature; the upstream tarball is built without Debian's patches.
# Progress goes to stderr; any failure ends the script with a message and a non-zero exit.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

die() {
  echo "error: free-threaded Python: $*" >&2
  exit 1
}

# True when $1 runs and is a free-threaded CPython >= 3.13.
is_ft_python() {
  "$1" -c 'import sys, sysconfig
sys.exit(0 if sys.version_info >= (3, 13) and sysconfig.get_config_var("Py_GIL_DISABLED") else 1)' 2>/dev/null
}

NAME=cpython-3.13-ft
CONFIGURE_FLAGS=(--disable-gil --without-ensurepip)
if [ "${1:-}" = "--tsan" ]; then
  NAME=cpython-3.13-ft-tsan
  CONFIGURE_FLAGS+=(--with-thread-sanitizer)
elif [ $# -gt 0 ]; then
  die "unknown argument $1 (the one option is --tsan)"
elif [ -n "${VANTOREL_FT_PYTHON:-}" ]; then
  is_ft_python "$VANTOREL_FT_PYTHON" ||
    die "VANTOREL_FT_PYTHON=$VANTOREL_FT_PYTHON is not a free-threaded Python >= 3.13"
  command -v "$VANTOREL_FT_PYTHON"
  exit 0
fi

CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/vantorel
PREFIX=$CACHE/$NAME
PY=$PREFIX/bin/python3.13t
# The install is assembled in a staging folder and renamed into place, with this marker
# written last, so a build that stopped half-way is never taken for a finished one.
MARKER=$PREFIX/.vantorel-complete

if [ -f "$MARKER" ] && is_ft_python "$PY"; then
  echo "$PY"
  exit 0
fi

mkdir -p "$CACHE"
# One build at a time per machine: a second run waits here, then finds the finished install.
exec 9>"$CACHE/$NAME.lock"
flock 9
if [ -f "$MARKER" ] && is_ft_python "$PY"; then
  echo "$PY"
  exit 0
fi

echo "== building CPython 3.13 (${CONFIGURE_FLAGS[*]}) into $PREFIX (once per machine)" >&2
missing=()
command -v gcc >/dev/null || missing+=(gcc)
command -v make >/dev/null || missing+=(make)
command -v xz >/dev/null || missing+=(xz-utils)
command -v gpgv >/dev/null || missing+=(gpgv)
vantorel_install_packages "${missing[@]}" >&2

# The machine's own Debian archive: its URI and keyring, from the first entry for the main
# archive (not the security one) in the deb822 sources or, failing that, sources.list.
read_debian_source() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk '
      function flush() { if (uri != "" && suites !~ /security/ && uri ~ /debian/ && !found) {
                           print uri, key; found = 1 }
                         uri = ""; key = ""; suites = "" }
      /^[ \t]*$/ { flush(); next }
      /^URIs:/ { uri = $2 }
      /^Suites:/ { suites = $0 }
      /^Signed-By:/ { key = $2 }
      END { flush() }' "$f"
  done
  if [ -f /etc/apt/sources.list ]; then
    awk '$1 == "deb" && $0 !~ /security/ {
           key = ""; uri = ""
           for (i = 2; i <= NF; i++) {
             if ($i ~ /^\[?signed-by=/) { key = $i; sub(/^\[?signed-by=/, "", key); sub(/\]$/, "", key) }
             else if ($i ~ /^[a-z]+:\/\//) { uri = $i; break }
           }
           if (uri ~ /debian/) { print uri, key; exit }
         }' /etc/apt/sources.list
  fi
}
read -r URI KEYRING < <(read_debian_source | head -n 1) || true
[ -n "${URI:-}" ] || die "no Debian archive found in /etc/apt/sources.list.d/*.sources or /etc/apt/sources.list"
if [ -z "${KEYRING:-}" ]; then
  KEYRING=/usr/share/keyrings/debian-archive-keyring.gpg  # what apt trusts for Debian by default
fi
[ -f "$KEYRING" ] || die "the archive keyring $KEYRING does not exist"

# All work happens in one folder, removed at the start of every attempt and after success.
WORK=$CACHE/$NAME.work
rm -rf "$WORK" "$PREFIX"
mkdir -p "$WORK/download" "$WORK/src"

# A private apt: its own source list, index folder and caches in the work folder.
APT_DIR=$WORK/apt
mkdir -p "$APT_DIR/sources.list.d" "$APT_DIR/lists/partial" "$APT_DIR/cache/archives/partial"
echo "deb-src [signed-by=$KEYRING] $URI trixie main" >"$APT_DIR/sources.list"
APT_OPTS=(-o "Dir::Etc::SourceList=$APT_DIR/sources.list" -o "Dir::Etc::SourceParts=$APT_DIR/sources.list.d"
          -o "Dir::State::Lists=$APT_DIR/lists" -o "Dir::Cache=$APT_DIR/cache"
          -o "Dir::Cache::archives=$APT_DIR/cache/archives" -o "APT::Sandbox::User=$(id -un)")

echo "-- fetching the source of python3.13 from $URI (trixie)" >&2
apt-get "${APT_OPTS[@]}" -q --error-on=any update >&2 ||
  die "apt-get update of the private trixie source list failed"
(cd "$WORK/download" && apt-get "${APT_OPTS[@]}" -q source --download-only python3.13 >&2) ||
  die "apt-get source --download-only python3.13 failed"

# Verification along the archive's chain of trust: the signed InRelease (checked with the
# keyring), the hash it gives of the Sources index, the hash that index gives of the .dsc,
# and the hash the .dsc gives of the upstream tarball. (The .dsc's own signature is the
# uploader's, whose key is not in the archive keyring.)
echo "-- verifying the source against the archive signature ($KEYRING)" >&2
INRELEASE=$(ls "$APT_DIR"/lists/*_dists_trixie_InRelease 2>/dev/null | head -n 1)
[ -n "$INRELEASE" ] || die "apt left no InRelease file for trixie"
gpgv --keyring "$KEYRING" --output "$WORK/Release" "$INRELEASE" 2>"$WORK/gpgv.log" ||
  { cat "$WORK/gpgv.log" >&2; die "the trixie InRelease file does not verify against $KEYRING"; }
sources_hash=$(awk '/^SHA256:/ { in_sha = 1; next } /^[^ ]/ { in_sha = 0 }
                    in_sha && $3 == "main/source/Sources" { print $1 }' "$WORK/Release")
[ -n "$sources_hash" ] || die "the signed Release names no main/source/Sources"
SOURCES_FILE=$(ls "$APT_DIR"/lists/*_dists_trixie_main_source_Sources* 2>/dev/null | head -n 1)
[ -n "$SOURCES_FILE" ] || die "apt left no Sources index for trixie"
/usr/lib/apt/apt-helper cat-file "$SOURCES_FILE" >"$WORK/Sources"
[ "$(sha256sum <"$WORK/Sources" | cut -d' ' -f1)" = "$sources_hash" ] ||
  die "the Sources index does not match the signed Release"

# Prints "sha256 size" of file $2 in the Checksums-Sha256 field of the stanza(s) of $1.
checksum_of() {
  awk -v name="$2" '/^Checksums-Sha256:/ { in_sha = 1; next } /^[^ ]/ { in_sha = 0 }
                    in_sha && $3 == name { print $1, $2; exit }' "$1"
}
DSC=$(ls "$WORK"/download/python3.13_*.dsc 2>/dev/null | head -n 1)
[ -n "$DSC" ] || die "apt downloaded no .dsc for python3.13"
awk -v RS= '/(^|\n)Package: python3\.13\n/' "$WORK/Sources" >"$WORK/Sources.python3.13"
read -r want_hash want_size < <(checksum_of "$WORK/Sources.python3.13" "$(basename "$DSC")") ||
  die "the signed Sources index does not list $(basename "$DSC")"
[ "$(sha256sum <"$DSC" | cut -d' ' -f1) $(stat -c %s "$DSC")" = "$want_hash $want_size" ] ||
  die "$(basename "$DSC") does not match the signed Sources index"
ORIG=$(ls "$WORK"/download/python3.13_*.orig.tar.xz 2>/dev/null | head -n 1)
[ -n "$ORIG" ] || die "apt downloaded no upstream tarball for python3.13"
read -r want_hash want_size < <(checksum_of "$DSC" "$(basename "$ORIG")") ||
  die "$(basename "$DSC") does not list $(basename "$ORIG")"
[ "$(sha256sum <"$ORIG" | cut -d' ' -f1) $(stat -c %s "$ORIG")" = "$want_hash $want_size" ] ||
  die "$(basename "$ORIG") does not match the checksums of $(basename "$DSC")"
echo "-- verified $(basename "$DSC") and $(basename "$ORIG")" >&2

# The upstream tarball only (Debian's patches are in the .debian.tar.xz, left unused).
tar -xf "$ORIG" -C "$WORK/src" --strip-components=1
LOG=$WORK/build.log
build() {
  cd "$WORK/src" &&
    ./configure --prefix="$PREFIX" "${CONFIGURE_FLAGS[@]}" &&
    make -j "$(nproc)" &&
    make install DESTDIR="$WORK/stage"
}
echo "-- configure ${CONFIGURE_FLAGS[*]}, make -j$(nproc), install (log: $LOG)" >&2
if ! (build) >"$LOG" 2>&1; then
  echo "---- errors in $LOG:" >&2
  grep -E -i '(error|\*\*\*)' "$LOG" | head -n 40 >&2 || true
  echo "---- last lines of $LOG:" >&2
  tail -n 40 "$LOG" >&2
  die "the build of CPython failed (full log: $LOG)"
fi
is_ft_python "$WORK/stage$PREFIX/bin/python3.13t" || die "the installed interpreter does not run free-threaded"
# CPython's own list of the races ThreadSanitizer reports inside the free-threaded interpreter.
cp "$WORK/src/Tools/tsan/suppressions_free_threading.txt" "$WORK/stage$PREFIX/lib/"
basename "$DSC" .dsc >"$WORK/stage$PREFIX/.vantorel-complete"
mv "$WORK/stage$PREFIX" "$PREFIX"
rm -rf "$WORK"
echo "-- CPython ready: $PY" >&2
echo "$PY"
