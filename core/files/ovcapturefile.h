// Opens a capture file of any kind the user may have, told apart by content:
// a raw capture from the device, a pcap or pcapng file, or a sample file.
// Every input is read once, so a FIFO or a pipe serves as well as a file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decode/ovcapture.h"
#include "files/ovinput.h"

class TcaptureFile {
 public:
  enum class Tkind { sample, raw, pcap };
  // What the input's first bytes show: a pcap or pcapng magic, the raw
  // stream's magic, else a sample file.
  static Tkind kindOf(const Tinput& input);

  // Raw streams longer than any capture of the device are refused.
  TcaptureFile();
  // The same with another bound on raw streams.
  explicit TcaptureFile(uint64_t longestRaw);

  // Fills capture from an input not read yet, of the kind its content shows.
  // False with lastError() (naming the file) when the input cannot be read or
  // is malformed; a sample file with nothing in it loads as an empty capture.
  bool load(Tinput& input, Tcapture& capture);
  // The same for one kind, whatever the content, from an input not read yet.
  bool loadPcap(Tinput& input, Tcapture& capture);
  bool loadSample(Tinput& input, Tcapture& capture);
  // Refuses a stream without the magic by its head, without reading on.
  bool loadRaw(Tinput& input, Tcapture& capture);

  // Runs bus events, the capture's only content, through the packet, tree and
  // row stages, as a decode of a live capture does.
  static void decodeEvents(Tcapture& capture);

  const std::string& lastError() const { return error; }
  const std::vector<std::string>& warnings() const { return notes; }

 private:
  uint64_t longestRaw;
  std::string error;
  std::vector<std::string> notes;
};
