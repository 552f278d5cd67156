#!/bin/bash
# Starts or stops the Wine session in which the win64 build's tests run.
#
#   scripts/wine-session.sh start   create the prefix if needed, start a
#                                   persistent wineserver and the services
#   scripts/wine-session.sh stop    end that wineserver and wait for it
#
# The prefix is $WINEPREFIX (default: $PWD/build/wineprefix). When
# $ZUVOZE_WINE_TEMPLATE names a folder, a finished prefix is kept there and
# later prefixes are copied from it instead of being created anew.
#
# Wine's helper processes (wineserver, services.exe, ...) inherit the stdout
# and stderr of the call that starts them and live on after it, so every wine
# call here has its standard streams on /dev/null or a file and runs under a
# timeout: a pipe reader such as CTest would otherwise wait for them.
set -u

export WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}"
case "$WINEPREFIX" in
  /*) ;;
  *) WINEPREFIX="$PWD/$WINEPREFIX" ;;  # Wine takes only an absolute prefix
esac
WINEPREFIX="${WINEPREFIX%/}"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY

READY="$WINEPREFIX/.zuvoze-prefix-ready"
LOG="$WINEPREFIX.session.log"

# fd 9 is the start lock: Wine's long-lived helpers must not inherit it.
q() { "$@" >>"$LOG" 2>&1 </dev/null 9>&-; }
say() { echo "wine-session: $*" >&2; }

prefix_complete() {
  [ -f "$READY" ] && return 0
  # A prefix made by other means counts as finished when wineboot got to the end.
  [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/user.reg" ] &&
    [ -f "$WINEPREFIX/userdef.reg" ] && [ -d "$WINEPREFIX/drive_c/windows/system32" ]
}

create_prefix() {
  local template="${ZUVOZE_WINE_TEMPLATE:-}"
  if [ -n "$template" ] && [ -f "$template/.zuvoze-prefix-ready" ]; then
    if cp -a "$template" "$WINEPREFIX" 2>>"$LOG"; then
      say "prefix copied from $template"
      return 0
    fi
    rm -rf "$WINEPREFIX"
  fi
  say "creating prefix $WINEPREFIX"
  if ! q timeout -k 10 300 wineboot -i; then
    say "wineboot -i failed (see $LOG)"
    return 1
  fi
  # wineboot's server is not persistent: let it write the registry and exit.
  q timeout -k 10 120 wineserver -w
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    say "prefix creation left no system.reg (see $LOG)"
    return 1
  fi
  : >"$READY"
  if [ -n "$template" ] && [ ! -e "$template" ]; then
    mkdir -p "$(dirname "$template")" &&
      cp -a "$WINEPREFIX" "$template.tmp$$" 2>>"$LOG" &&
      mv "$template.tmp$$" "$template" 2>>"$LOG" || rm -rf "$template.tmp$$"
  fi
  return 0
}

start() {
  mkdir -p "$(dirname "$WINEPREFIX")" || return 1
  : >"$LOG"
  # Two starts on one prefix (a CI script and a test fixture) take turns.
  if command -v flock >/dev/null 2>&1; then
    exec 9>"$WINEPREFIX.lock"
    flock -w 600 9 || say "could not lock $WINEPREFIX.lock; going on"
  fi
  if [ -d "$WINEPREFIX" ] && ! prefix_complete; then
    # An interrupted creation leaves a prefix that Wine treats as existing but
    # that does not work: remove it and start over.
    say "removing half-made prefix $WINEPREFIX"
    q timeout -k 10 60 wineserver -k
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -d "$WINEPREFIX" ]; then
    if ! create_prefix; then
      q timeout -k 10 60 wineserver -k
      rm -rf "$WINEPREFIX"
      return 1
    fi
  fi
  [ -f "$READY" ] || : >"$READY"
  # rc 2 means a server already runs for this prefix, which serves as well.
  q timeout -k 10 60 wineserver -p
  # Starts services.exe and the other helpers detached from our streams, so
  # later calls whose output is piped return at once.
  if ! q timeout -k 10 120 wine cmd /c exit; then
    say "warm-up call failed (see $LOG)"
    return 1
  fi
  say "session up ($WINEPREFIX)"
  exec 9>&-
}

stop() {
  [ -d "$WINEPREFIX" ] || return 0
  q timeout -k 10 60 wineserver -k
  # -k signals; -w returns once the server has gone.
  q timeout -k 10 60 wineserver -w
  say "session stopped ($WINEPREFIX)"
  return 0
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
