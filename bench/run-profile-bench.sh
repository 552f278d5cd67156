#!/bin/bash
# Runs the profile (INI) benchmark on the posix engine and, cross-built, on the
# Windows functions under Wine, one after the other on this machine, and prints
# the figures side by side.
#
#   bench/run-profile-bench.sh [seconds-per-phase]
#
# Environment (all optional):
#   NATIVE_BUILD  native build folder    (default: <source>/build/bench-native)
#   WIN64_BUILD   MinGW-w64 build folder (default: <source>/build/bench-win64)
#   WINEPREFIX    Wine prefix to use     (default: <WIN64_BUILD>/wineprefix-bench);
#                 created when missing, and its wineserver is ended at exit
#   BUILD=0       take the builds as they are (no configure or build step)
set -u
SRC="$(cd "$(dirname "$0")/.." && pwd)"
SECONDS_PER_PHASE="${1:-3}"
NATIVE_BUILD="${NATIVE_BUILD:-$SRC/build/bench-native}"
WIN64_BUILD="${WIN64_BUILD:-$SRC/build/bench-win64}"
export WINEPREFIX="${WINEPREFIX:-$WIN64_BUILD/wineprefix-bench}"
export WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

WORK="$(mktemp -d /tmp/profile-bench-XXXXXX)"
LOG="$WORK/wine.log"
# Wine's helper processes inherit our streams and outlive the call that starts
# them: every wine call gets /dev/null or a file, and a timeout.
q() { "$@" >>"$LOG" 2>&1 </dev/null; }
cleanup() {
  q timeout -k 10 60 wineserver -k
  rm -rf "$WORK"
}
trap cleanup EXIT

if [ "${BUILD:-1}" != 0 ]; then
  echo "building the native benchmark in $NATIVE_BUILD" >&2
  cmake -S "$SRC" -B "$NATIVE_BUILD" >"$WORK/build.log" 2>&1 &&
    cmake --build "$NATIVE_BUILD" -j2 --target profile_bench >>"$WORK/build.log" 2>&1 ||
    { cat "$WORK/build.log" >&2; exit 1; }
  echo "building the win64 benchmark in $WIN64_BUILD" >&2
  cmake -S "$SRC" -B "$WIN64_BUILD" \
    -DCMAKE_TOOLCHAIN_FILE="$SRC/cmake/mingw-w64-x86_64.cmake" >"$WORK/build.log" 2>&1 &&
    cmake --build "$WIN64_BUILD" -j2 --target profile_bench >>"$WORK/build.log" 2>&1 ||
    { cat "$WORK/build.log" >&2; exit 1; }
fi
NATIVE_EXE="$NATIVE_BUILD/bin/profile_bench"
WIN_EXE="$WIN64_BUILD/bin/profile_bench.exe"
for f in "$NATIVE_EXE" "$WIN_EXE"; do
  [ -x "$f" ] || { echo "missing $f" >&2; exit 1; }
done

# The Wine session: create the prefix when needed, then a persistent server and
# the services, started apart from our streams.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating Wine prefix $WINEPREFIX" >&2
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  q timeout -k 10 300 wineboot -i || { echo "wineboot failed (see $LOG)" >&2; exit 1; }
  q timeout -k 10 120 wineserver -w
fi
q timeout -k 10 60 wineserver -p
q timeout -k 10 120 wine cmd /c exit || { echo "Wine warm-up failed" >&2; exit 1; }

mkdir -p "$WORK/posix" "$WORK/win32"
PHASES=6  # five timed phases and the settling pause, with room to spare
LIMIT=$(awk -v s="$SECONDS_PER_PHASE" -v p="$PHASES" 'BEGIN { printf "%d", s * p * 4 + 120 }')
echo "running the posix engine ($SECONDS_PER_PHASE s per phase)" >&2
timeout -k 10 "$LIMIT" "$NATIVE_EXE" "$WORK/posix" "$SECONDS_PER_PHASE" >"$WORK/posix.out" 2>"$WORK/posix.err"
RC_POSIX=$?
echo "running the Windows functions under Wine" >&2
WIN_DIR="Z:$(printf '%s' "$WORK/win32" | tr '/' '\\')"
timeout -k 10 "$LIMIT" wine "$WIN_EXE" "$WIN_DIR" "$SECONDS_PER_PHASE" >"$WORK/win32.out" 2>"$WORK/win32.err" </dev/null
RC_WIN=$?

# Side by side: one row per figure (the text before the colon).
tr -d '\r' <"$WORK/win32.out" >"$WORK/win32.txt"
awk -F': ' '
  NR == FNR { posix[$1] = $2; order[++n] = $1; next }
  { win[$1] = $2 }
  END {
    printf "%-34s %-42s %s\n", "", "posix engine", "Windows functions (Wine)"
    for (i = 1; i <= n; i++) {
      k = order[i]
      if (k == "backend") continue
      printf "%-34s %-42s %s\n", k ":", posix[k], (k in win ? win[k] : "-")
    }
  }' "$WORK/posix.out" "$WORK/win32.txt"
[ -s "$WORK/posix.err" ] && { echo "posix stderr:" >&2; cat "$WORK/posix.err" >&2; }
[ -s "$WORK/win32.err" ] && { echo "wine stderr:" >&2; tr -d '\r' <"$WORK/win32.err" >&2; }
echo "exit codes: posix $RC_POSIX, wine $RC_WIN" >&2
[ "$RC_POSIX" = 0 ] && [ "$RC_WIN" = 0 ]
