#!/bin/sh
# The command-line front end: results on standard output, failures as a
# message on standard error with a non-zero exit status.
#   usage: cli.sh <path of textcodec>
set -u
cli=$1
status=0
check() {  # expected-status expected-output args...
  want_rc=$1 want_out=$2
  shift 2
  out=$("$cli" "$@" 2>/tmp/textcodec-cli.$$)
  rc=$?
  err=$(cat /tmp/textcodec-cli.$$)
  rm -f /tmp/textcodec-cli.$$
  if [ "$rc" != "$want_rc" ] || [ "$out" != "$want_out" ]; then
    echo "FAIL: textcodec $*: status $rc, output '$out' (wanted $want_rc, '$want_out')" >&2
    status=1
  elif [ "$rc" != 0 ] && [ -z "$err" ]; then
    echo "FAIL: textcodec $*: failed without a message" >&2
    status=1
  fi
}
check 0 '97H98H99' encrypt abc
check 0 'abc' decrypt 97H98H99
check 0 '128H63' encrypt "€ā"
check 0 '€' decrypt 128
check 0 '' encrypt ''
check 1 '' decrypt 97H
check 1 '' decrypt 97h98
check 1 '' decrypt 256
check 2 '' reverse abc
check 2 '' encrypt
[ $status = 0 ] && echo PASS
exit $status
