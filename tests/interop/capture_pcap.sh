#!/usr/bin/env bash
# twr capture --pcap on the simulated sniffer writes what twr export makes of
# the same capture's raw stream.
# Arguments: twr-sim, twr, scratch directory.
set -u
sim=$1 twr=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
"$sim" --pace fast -- "$twr" capture --size 128K -o live.ovd --raw live.raw --pcap live.pcap >out.txt 2>err.txt ||
  { echo "FAIL: capture: $(cat err.txt)"; exit 1; }
"$twr" export live.raw again.pcap >/dev/null || { echo "FAIL: export of the raw stream"; exit 1; }
[ "$(stat -c %s live.pcap)" -gt 24 ] || { echo "FAIL: no packets in live.pcap"; exit 1; }
cmp live.pcap again.pcap || { echo "FAIL: live.pcap differs from the export of live.raw"; exit 1; }
