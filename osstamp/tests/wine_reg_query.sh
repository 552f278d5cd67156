#!/bin/sh
# Runs the built osstamp.exe under Wine from a folder of its own and reads what
# it recorded back with `wine reg query`: strVersion and strOSName under
# HKLM\SOFTWARE\VelkVersion as REG_SZ, equal to the version (major.minor) and
# caption that `wine wmic` reports. Expects the Wine session of the caller
# (WINEPREFIX exported, wineserver running); it neither starts nor stops one.
#   usage: wine_reg_query.sh <path of osstamp.exe>
set -u
exe=$1
key='HKLM\SOFTWARE\VelkVersion'
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
work=$(mktemp -d) || exit 1
cleanup() {
  timeout 60 wine reg delete "$key" /f >/dev/null 2>&1 </dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$work"/*.txt; do [ -f "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }; done
  exit 1
}
# Every wine call gets files, never our pipe, and a time limit.
w() { out=$1; shift; timeout 60 wine "$@" >"$work/$out" 2>"$work/$out.err.txt" </dev/null; }

cp "$exe" "$work/osstamp.exe" || fail "cannot copy $exe"
timeout 60 wine reg delete "$key" /f >/dev/null 2>&1 </dev/null

w run.txt "$work/osstamp.exe" || fail "osstamp.exe exited with $?"
[ -f "$work/osstamp_Log.txt" ] || fail "no osstamp_Log.txt next to the program"
w query.txt reg query "$key" || fail "reg query $key answered $?"
tr -d '\r' <"$work/query.txt" >"$work/query.clean.txt"

# The service's own answer, for comparison (wmic writes UTF-16 with CR LF).
w wmic1.raw wmic os get Caption || fail "wmic os get Caption answered $?"
w wmic2.raw wmic os get Version || fail "wmic os get Version answered $?"
caption=$(iconv -f UTF-16 -t UTF-8 "$work/wmic1.raw" | tr -d '\r' | sed -n 2p | sed 's/ *$//')
version=$(iconv -f UTF-16 -t UTF-8 "$work/wmic2.raw" | tr -d '\r' | sed -n 2p | sed 's/ *$//' |
          cut -d. -f1-2)
[ -n "$caption" ] && [ -n "$version" ] || fail "wmic gave no caption or version"

grep -qx "    strVersion    REG_SZ    $version" "$work/query.clean.txt" ||
  fail "strVersion is not REG_SZ $version"
grep -qx "    strOSName    REG_SZ    $caption" "$work/query.clean.txt" ||
  fail "strOSName is not REG_SZ $caption"
tr -d '\r' <"$work/osstamp_Log.txt" | grep -q "	MSG :  $version$caption\$" ||
  fail "the log does not name $version$caption"
echo "PASS osstamp recorded strVersion=$version strOSName=$caption"
