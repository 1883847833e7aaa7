#!/usr/bin/env bash
# twr capture's files on the simulated sniffer: --pcap writes what twr export
# makes of the same capture's raw stream, the sample file may go to standard
# output, a capture killed while saving keeps the file it would replace, and one ended by
# a signal keeps what was captured, also when its rows are printed as they are decoded.
# Arguments: twr-sim, twr, scratch directory.
set -u
sim=$1 twr=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
"$sim" --pace fast -- "$twr" capture --size 128K -o - --raw live.raw --pcap live.pcap >live.ovd 2>err.txt ||
  { echo "FAIL: capture: $(cat err.txt)"; exit 1; }
"$twr" export live.raw again.pcap >/dev/null || { echo "FAIL: export of the raw stream"; exit 1; }
[ "$(stat -c %s live.pcap)" -gt 24 ] || { echo "FAIL: no packets in live.pcap"; exit 1; }
cmp live.pcap again.pcap || { echo "FAIL: live.pcap differs from the export of live.raw"; exit 1; }
"$twr" decode live.raw -o again.ovd && cmp live.ovd again.ovd ||
  { echo "FAIL: the sample file on standard output differs from the decode of live.raw"; exit 1; }
grep -q "^packets  " err.txt || { echo "FAIL: the summary did not give way to the sample file"; exit 1; }

# The file-size limit ends twr (SIGXFSZ) part-way through the raw stream.
mkdir killed && cd killed && echo old >old.raw || exit 1
"$sim" --pace fast -- sh -c 'ulimit -f 64 && exec "$0" capture --size 128K -o live.ovd --raw old.raw' "$twr" \
  >/dev/null 2>&1 && { echo "FAIL: the capture was not ended by the file-size limit"; exit 1; }
[ "$(cat old.raw)" = old ] || { echo "FAIL: the killed save changed the old file"; exit 1; }
[ "$(ls)" = old.raw ] || { echo "FAIL: the killed save left $(ls | tr '\n' ' ')"; exit 1; }

# Ctrl-C in a terminal signals the whole foreground group, the simulator too; SIGTERM may end
# the simulator alone. Either way twr ends the capture as Stop does and keeps every output
# consistent with what was captured. With --live the rows come as they are decoded, the
# summary goes to standard error, and the rows printed are those of the sample file.
cd "$work" || exit 1
for case in "INT group --live" "TERM simulator"; do
  set -- $case
  mkdir "$1" && cd "$1" || exit 1
  set -m  # the capture gets a process group of its own, as in a terminal
  "$sim" -- "$twr" capture --size 64M -o X.ovd --raw X.raw --pcap X.pcap ${3:-} >out.txt 2>err.txt &
  leader=$!
  set +m
  flowing() { if [ -n "${3:-}" ]; then [ -s out.txt ]; else grep -q "^twr: captured [1-9]" err.txt; fi; }
  for _ in $(seq 300); do flowing "$@" && break; sleep 0.1; done
  flowing "$@" || { kill -KILL -- -$leader; echo "FAIL: $case: no data"; exit 1; }
  if [ "$2" = group ]; then kill -"$1" -- -$leader; else kill -"$1" $leader; fi
  wait $leader
  status=$?
  [ $status = 0 ] || { echo "FAIL: SIG$1 to the $2: exit $status: $(cat err.txt)"; exit 1; }
  if [ -n "${3:-}" ]; then
    grep -q "^packets  " err.txt || { echo "FAIL: SIG$1: no summary"; exit 1; }
    "$twr" show X.ovd | cmp -s - out.txt || { echo "FAIL: SIG$1: the rows printed live are not the file's"; exit 1; }
  else
    grep -q "^packets  " out.txt || { echo "FAIL: SIG$1: no summary"; exit 1; }
  fi
  grep -q "stopping; decoding what was captured" err.txt || { echo "FAIL: SIG$1: $(cat err.txt)"; exit 1; }
  [ "$(stat -c %s X.raw)" -gt 1000 ] || { echo "FAIL: SIG$1: hardly any raw stream kept"; exit 1; }
  "$twr" show X.ovd >saved.txt && "$twr" decode X.raw >decoded.txt && cmp -s saved.txt decoded.txt ||
    { echo "FAIL: SIG$1: the sample file differs from the decode of the raw stream"; exit 1; }
  "$twr" export X.raw again.pcap >/dev/null && cmp -s X.pcap again.pcap ||
    { echo "FAIL: SIG$1: the pcap differs from the export of the raw stream"; exit 1; }
  cd ..
done
