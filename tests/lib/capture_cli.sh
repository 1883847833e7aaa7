#!/usr/bin/env bash
# twr capture on the simulated sniffer: a capture run to its end, one the sniffer's
# permissions refuse, and the mistakes a user can make on the command line (one ended
# by a signal: interop.captureOutputs).
# Arguments: twr-sim, twr, scratch directory.
set -u
sim=$1 twr=$2 work=$3
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# Ctrl-C to the background job pid once file shows pattern (or after 20 s); its exit status.
interrupt_when() {
  local pattern=$1 file=$2 pid=$3
  for _ in $(seq 200); do
    grep -q "$pattern" "$file" 2>/dev/null && break
    sleep 0.1
  done
  kill -INT -- -"$pid"  # as a terminal's Ctrl-C: to the command's whole process group
  wait "$pid"
}
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1

# To the end: summary, raw stream and sample file agree.
"$sim" --pace fast -- "$twr" capture --size 256K -o full.ovd --raw full.raw >out.txt 2>err.txt
status=$?
[ $status -eq 0 ] || fail "full capture exit $status: $(cat err.txt)"
[ "$(stat -c %s full.raw 2>/dev/null)" = 262144 ] || fail "raw file is not 256 KiB"
grep -Eq '^packets +[1-9][0-9]*$' out.txt || fail "no packet count: $(cat out.txt)"
for line in transactions transfers resets "packets with PID check error" "packets with illegal PID error" \
  "packets with SE1 error" "packets with length error" "packets with CRC error"; do
  grep -Eq "^$line +[0-9]+$" out.txt || fail "summary lacks '$line'"
done
grep -q "ready" err.txt || fail "no ready message: $(cat err.txt)"
grep -q "captured 256.0 KiB of 256.0 KiB (100%)" err.txt || fail "no final progress line: $(cat err.txt)"
"$twr" decode full.raw >fromraw.txt && "$twr" show full.ovd >fromovd.txt || fail "cannot read the files back"
[ -s fromovd.txt ] && cmp -s fromraw.txt fromovd.txt || fail "the sample file is not the decode of the raw stream"

# A file-size limit reached during the capture, SIGXFSZ ignored, ends it there; what it holds is
# decoded and saved. (With SIGXFSZ as it comes, the limit ends twr: interop.captureOutputs.)
(
  trap '' XFSZ
  ulimit -f 64
  exec "$sim" --pace fast -- "$twr" capture --size 1M -o -
) 2>cuterr.txt | cat >cut.ovd
status=${PIPESTATUS[0]}
[ $status -eq 0 ] || fail "capture cut short exit $status: $(cat cuterr.txt)"
grep -Eq "^twr: no room left for the capture \(.*: File too large\); keeping and decoding the [1-9][0-9]* bytes captured" \
  cuterr.txt || fail "no cut-short message: $(cat cuterr.txt)"
"$twr" show cut.ovd >cut.txt && [ -s cut.txt ] || fail "the cut-short capture was not saved"

# A sniffer the user may not open: the message names the udev rule, and Ctrl-C ends the wait.
set -m
"$sim" --pace fast --fault access-denied -- "$twr" capture --size 16K -o denied.ovd 2>derr.txt &
set +m
interrupt_when "no permission" derr.txt $!
grep -q "^twr: no permission to open the sniffer: install the udev rule 60-tracewren.rules" derr.txt ||
  fail "no permission message: $(cat derr.txt)"
[ ! -e denied.ovd ] || fail "a sample file without a capture"

# Mistakes are usage errors, found before any hardware is looked for.
for args in "-o x.ovd" "--size 4M" "--size 4X -o x.ovd" "--size 0 -o x.ovd" "--size 4G -o x.ovd" \
  "--size 4M -o x.ovd --connect --disconnect"; do
  # shellcheck disable=SC2086
  "$twr" capture $args >/dev/null 2>msg.txt
  status=$?
  [ $status -eq 2 ] || fail "'capture $args' exit $status"
done

[ $failures -eq 0 ] && echo "all passed"
exit $((failures > 0))
