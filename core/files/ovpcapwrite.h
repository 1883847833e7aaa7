// Writes USB packets as a pcap or pcapng file that Wireshark reads: nanosecond
// time stamps, one packet from PID through CRC per record.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "files/ovpcapformat.h"

class TpcapWriter {
 public:
  struct Toptions {
    uint32_t linkType = pcapfmt::linkUsbFull;
    bool pcapng = false;
  };

  // Creates or truncates path and writes the file head; check ok().
  TpcapWriter(const std::string& path, Toptions options);
  ~TpcapWriter();
  TpcapWriter(const TpcapWriter&) = delete;
  TpcapWriter& operator=(const TpcapWriter&) = delete;

  // One packet at tick time (ticks since the capture start).
  void add(uint64_t time, const uint8_t* bytes, size_t n);
  // Flushes and closes; false when anything failed since the start.
  bool close();

  bool ok() const { return file && !failed; }
  // Why the file could not be written ("" while all is well).
  const std::string& lastError() const { return error; }

 private:
  void put(const void* data, size_t n);
  void put32(uint32_t v) { put(&v, 4); }
  void put16(uint16_t v) { put(&v, 2); }
  void fail(const std::string& why);

  Toptions options;
  FILE* file = nullptr;
  bool failed = false;
  std::string error;
};
