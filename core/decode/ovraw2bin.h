// Bus-level decoding: turns line-state runs into bus events, one event at a
// time so that the caller can publish its progress through the raw stream.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "decode/ovbase.h"
#include "decode/ovraw.h"

class Traw2bin {
 public:
  // Decoded bytes kept per packet. The largest legal full-speed packet has
  // 1026 bytes; a corrupt stream can announce billions of ticks inside one
  // packet, so collecting stops here and the packet keeps only its first bytes.
  static constexpr size_t maxPacketBytes = 4096;

  Traw2bin();
  ~Traw2bin();
  Traw2bin(const Traw2bin&) = delete;
  Traw2bin& operator=(const Traw2bin&) = delete;

  // Reads one run and decodes at most one event from it, appending it to
  // events; position receives the reader's byte position. False only when
  // the reader had no run left.
  bool getNextBinEvent(Traw& raw, std::vector<TeventBin>& events, uint64_t& position);
  bool buildBinVec(Traw& raw, std::vector<TeventBin>& events);

 private:
  class Timpl;
  std::unique_ptr<Timpl> impl;
};
