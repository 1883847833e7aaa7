// Reads pcap and pcapng files of USB packets (link types 288, 293, 294) into
// bus events, so that they run through the same stages as a live capture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decode/ovcapture.h"
#include "files/ovinput.h"

class TpcapReader {
 public:
  // Whether the first bytes are a pcap or pcapng magic (four are enough).
  static bool isPcap(const uint8_t* head, size_t n);

  // Appends one packet event per record to the capture's events, times in ticks from the capture
  // start: the epoch for files whose first packet lies in the epoch's first
  // day (as our exports do), else the first packet. False when the file
  // cannot be read, is malformed or is of a link type without full-speed
  // packets; lastError() then names the file and, for a malformed file, the
  // byte offset. Nothing is allocated beyond the file's own size and one
  // event per record.
  bool read(Tinput& input, Tcapture& capture);
  // The same for a file already in memory; name is used in messages.
  bool parse(const std::vector<uint8_t>& file, const std::string& name, Tcapture& capture);

  const std::string& lastError() const { return error; }
  // Things the user should know although the file was read.
  const std::vector<std::string>& warnings() const { return notes; }

 private:
  std::string error;
  std::vector<std::string> notes;
};
