// Writes USB packets as a pcap or pcapng file that Wireshark reads: nanosecond
// time stamps, one packet from PID through CRC per record.
#pragma once

#include <cstdint>
#include <string>

#include "files/ovfilewriter.h"
#include "files/ovpcapformat.h"

class TpcapWriter {
 public:
  struct Toptions {
    uint32_t linkType = pcapfmt::linkUsbFull;
    bool pcapng = false;
  };

  // Starts the file at path ("-": standard output) and writes its head;
  // check ok(). Until close() what stood at path stays (see TfileWriter).
  TpcapWriter(const std::string& path, Toptions options);

  // One packet at tick time (ticks since the capture start).
  void add(uint64_t time, const uint8_t* bytes, size_t n);
  // Puts the file in place; false when anything failed since the start.
  bool close() { return out.commit(); }

  bool ok() const { return out.ok(); }
  // Why the file could not be written ("" while all is well).
  const std::string& lastError() const { return out.lastError(); }

 private:
  void put(const void* data, size_t n) { out.write(data, n); }
  void put32(uint32_t v) { put(&v, 4); }
  void put16(uint16_t v) { put(&v, 2); }

  Toptions options;
  TfileWriter out;
};
