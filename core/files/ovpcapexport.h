// The packets of a decoded capture as a pcap or pcapng file.
#pragma once

#include <string>

#include "files/ovcapturefile.h"
#include "files/ovpcapwrite.h"

struct TexportCounts {
  unsigned long packets = 0;
  unsigned long resets = 0;  // no USB packet link type can carry them
};

// Writes every packet in bus order: the recorded bytes where the capture has
// them, else bytes rebuilt from the decoded fields (a bad PID check keeps a
// wrong check nibble, bad CRCs stay as received). False with error saying why
// when the file cannot be written; what stood at path then stays.
bool exportPcap(const Tcapture& capture, const std::string& path, TpcapWriter::Toptions options,
                TexportCounts& counts, std::string& error);
