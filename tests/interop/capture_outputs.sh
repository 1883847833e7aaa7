#!/usr/bin/env bash
# twr capture's files on the simulated sniffer: --pcap writes what twr export
# makes of the same capture's raw stream, the sample file may go to standard
# output, and a capture killed while saving keeps the file it would replace.
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
