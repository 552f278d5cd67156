#!/bin/sh
# The component as an outside client meets it under Wine: registered with
# regsvr32, created by its program identifier from a VBScript run by cscript,
# then unregistered, after which it can no longer be created. Expects the Wine
# session of the caller (WINEPREFIX exported, wineserver running); it neither
# starts nor stops one.
#   usage: wine_cscript.sh <path of textcodec.dll> <path of clsEncrypt_client.vbs>
set -u
dll=$1
vbs=$2
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
work=$(mktemp -d) || exit 1
registered=0
cleanup() {
  [ $registered = 1 ] && timeout 60 wine regsvr32 /u /s "$work/textcodec.dll" >/dev/null 2>&1 </dev/null
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

cp "$dll" "$work/textcodec.dll" && cp "$vbs" "$work/client.vbs" || fail "cannot copy the component"
win_dll=$(timeout 60 winepath -w "$work/textcodec.dll" 2>/dev/null </dev/null)
win_vbs=$(timeout 60 winepath -w "$work/client.vbs" 2>/dev/null </dev/null)
[ -n "$win_dll" ] && [ -n "$win_vbs" ] || fail "winepath gave no Windows paths"

w register.txt regsvr32 /s "$win_dll" || fail "regsvr32 answered $?"
registered=1
w progid.txt reg query 'HKCR\TextCodecLib.clsEncrypt\CLSID' || fail "no ProgID key after registering"

w registered.txt cscript //nologo "$win_vbs" registered || fail "cscript answered $?"
tr -d '\r' <"$work/registered.txt" | grep -qx "PASS registered" || fail "the client did not pass"

w unregister.txt regsvr32 /u /s "$win_dll" || fail "regsvr32 /u answered $?"
registered=0
w unregistered.txt cscript //nologo "$win_vbs" unregistered || fail "cscript answered $?"
tr -d '\r' <"$work/unregistered.txt" | grep -qx "PASS unregistered" ||
  fail "the class could still be created after unregistering"
echo "PASS textcodec component under regsvr32 and cscript"
