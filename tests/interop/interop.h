// Shared by the interop tests: captures as comparable packet lists, and
// running programs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decode/ovbase.h"
#include "files/ovcapturefile.h"
#include "support/testfiles.h"

// Packets of a capture in bus order, made from the recorded events where there
// are any (the tree leaves out a transaction cut off by the end).
TobjVec packetsOf(const Tcapture& capture);
// The capture's bus events as recorded.
std::vector<TeventBin> eventsOf(const Tcapture& capture);
// Every packet of a capture in bus order as its text line without level,
// indentation and idle time; extras add the idle time and the error flags
// (which sample files do not keep).
constexpr unsigned withIdle = 1, withFlags = 2;
std::vector<std::string> packetLines(const Tcapture& capture, unsigned extras = 0);

// Any capture file, loaded as twr loads it.
Tcapture load(const std::string& path);

// tshark's fields (one line per packet, fields separated by tabs) of a file; a
// tshark that fails fails the test.
std::vector<std::string> tsharkFields(const std::string& path, const std::string& fields,
                                      const std::string& filter = "");

// A control transfer (GET_DESCRIPTOR device) among SOFs, with bad CRC5s, a
// bad CRC16 and a bad PID check on some packets, spread over hours of bus time.
Tcapture faultCapture();
