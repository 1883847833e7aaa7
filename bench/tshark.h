// Wireshark's command-line reader as the yardstick for our decode's cost.
#pragma once

#include <string>

// Processor time, user and kernel, that `tshark -T fields` takes to print the
// fields of every packet of the pcap file at path: what our decode finds out
// (PID, address, endpoint, frame, CRC checks, payload). Negative when tshark
// is not on PATH or did not run to a clean end.
double tsharkCpuSeconds(const std::string& pcapPath);
