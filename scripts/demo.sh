#!/usr/bin/env bash
# Shows what one cfgmerge run does: builds the program (native tree, the one
# the test command uses),
# copies the bundled sample installation (samples/agent) and the sample change
# requests (samples/requests) into a fresh temporary folder, puts the agent key
# into a registry store there, lets a stand-in service control note the
# restart of the scheduler service, runs cfgmerge once and prints the archived
# run log, ScheduleUpdateStatus.txt, the status file, the service requests and
# each table before and after.
#
#   scripts/demo.sh            the build tree is build/native
#   ZUVOZE_DEMO_BUILD=DIR      build in DIR instead
#   ZUVOZE_DEMO_KEEP=1         keep the temporary folder (its path is printed)
#
# The bundled files are never changed. Run as root on a fresh Debian 12 machine,
# it first installs the build tools that are missing. Exits non-zero when the
# build fails or the run does not end with SUCCESS.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${ZUVOZE_DEMO_BUILD:-build/native}
JOBS=${JOBS:-$(nproc)}

. scripts/ensure-packages.sh
ensure_packages cmake g++ make googletest libgtest-dev libgmock-dev libcurl4-openssl-dev diffutils

echo "== building cfgmerge in $BUILD"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$JOBS" --target cfgmerge >/dev/null
PROGRAM="$ROOT/$BUILD/bin/cfgmerge"
[ -x "$PROGRAM" ] || { echo "demo: $PROGRAM was not built" >&2; exit 1; }

samples_sum() { find samples -type f -print0 | sort -z | xargs -0 sha256sum; }
SAMPLES_BEFORE=$(samples_sum)

WORK=$(mktemp -d "${TMPDIR:-/tmp}/cfgmerge-demo.XXXXXX")
if [ "${ZUVOZE_DEMO_KEEP:-0}" = 1 ]; then
  trap 'echo "== kept $WORK"' EXIT
else
  trap 'rm -rf "$WORK"' EXIT
fi

# Drive C: of the demo is $WORK/c. The agent lives where it would on Windows;
# cfgmerge and its change requests lie in a tools folder beside the tables.
export ZUVOZE_DRIVE_C="$WORK/c"
INSTALL_WIN='C:\Program Files (x86)\VELK\Agent'
AGENT="$WORK/c/Program Files (x86)/VELK/Agent"
TOOLS="$AGENT/Tools"
mkdir -p "$AGENT" "$TOOLS"
cp -R samples/agent/. "$AGENT/"
find "$AGENT" -name .gitkeep -delete
cp samples/requests/AddSection.ini samples/requests/DeleteSection.ini "$TOOLS/"
cp "$PROGRAM" "$TOOLS/cfgmerge"
BEFORE="$WORK/before"
mkdir -p "$BEFORE"
cp -R samples/agent/. "$BEFORE/"

# The agent key, as the agent (a 32-bit program) writes it.
export ZUVOZE_REGISTRY="$WORK/registry.reg"
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\ZUVOZE]\r\n'
  printf '"InstallationPath"="%s"\r\n' "${INSTALL_WIN//\\/\\\\}"
  printf '"REGID"="DEMO-100042"\r\n'
  printf '"TYPE"="Desktop"\r\n'
  printf '"MEMBERID"="M-7"\r\n'
  printf '"SiteId"="S-3"\r\n'
} >"$ZUVOZE_REGISTRY"

# The stand-in service control: notes each request, always succeeds.
export ZUVOZE_SERVICECTL="$WORK/servicectl"
SERVICE_LOG="$WORK/service-requests.txt"
cat >"$ZUVOZE_SERVICECTL" <<SH
#!/bin/sh
echo "\$1 \$2" >> "$SERVICE_LOG"
exit 0
SH
chmod 755 "$ZUVOZE_SERVICECTL"

# The fixed pauses (5 ms per INI read, 20 s after each service request) are
# skipped.
export ZUVOZE_SLEEP_SCALE=0

echo "== running cfgmerge"
rc=0
"$TOOLS/cfgmerge" || rc=$?
echo "exit code: $rc"

show() {  # title file
  echo
  echo "== $1"
  if [ -f "$2" ]; then sed 's/\r$//' "$2"; echo; else echo "(missing)"; fi
}

failed=0
shopt -s nullglob
archives=("$AGENT"/ApplicationLog/Add_Delete_IniLog_*.txt)
statuses=("$AGENT"/PMStatus/cfgmerge_*.ini)
if [ ${#archives[@]} -eq 1 ]; then
  show "run log (ApplicationLog/$(basename "${archives[0]}"))" "${archives[0]}"
else
  echo "demo: expected one archived run log, found ${#archives[@]}" >&2
  show "run log left in the program folder" "$TOOLS/Add_Delete_IniLog.txt"
  failed=1
fi
show "ScheduleUpdateStatus.txt" "$TOOLS/ScheduleUpdateStatus.txt"
if [ ${#statuses[@]} -eq 1 ]; then
  show "status file (PMStatus/$(basename "${statuses[0]}"))" "${statuses[0]}"
else
  echo "demo: expected one status file, found ${#statuses[@]}" >&2
  failed=1
fi
show "service requests" "$SERVICE_LOG"

for table in Configuration/VELKScheduler.ini VELKDefaultExe.ini VELKMobile.ini; do
  echo
  echo "== $table: before -> after"
  diff -u --strip-trailing-cr --label "before/$table" --label "after/$table" \
       "$BEFORE/$table" "$AGENT/$table" || true
done

# The bundled samples stay as they were.
[ "$(samples_sum)" = "$SAMPLES_BEFORE" ] || { echo "demo: samples/ changed" >&2; failed=1; }

status=$(cat "$TOOLS/ScheduleUpdateStatus.txt" 2>/dev/null || true)
if [ "$rc" -ne 0 ] || [ "$status" != SUCCESS ] || [ "$failed" -ne 0 ]; then
  echo
  echo "demo: the run did not complete with SUCCESS" >&2
  exit 1
fi
echo
echo "== the run completed: SUCCESS"
