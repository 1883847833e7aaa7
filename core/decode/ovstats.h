// What a capture holds, counted: per device, per endpoint and in all. Counted
// from the capture's rows, so a sample file and a fresh decode count alike.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decode/ovbase.h"

class Tcapture;

// The traffic of one endpoint, one device or the whole capture.
struct TtrafficStats {
  // Transactions by the handshake that ended them (NAK when any of them is a
  // NAK, as the NAK filter reads them); noAnswer: none, as isochronous ones.
  uint64_t ack = 0;
  uint64_t nak = 0;
  uint64_t stall = 0;
  uint64_t noAnswer = 0;
  uint64_t packets = 0;
  // Payload bytes moved each way: those of transactions answered with ACK or
  // not answered at all.
  uint64_t bytesIn = 0;
  uint64_t bytesOut = 0;
  uint64_t transfers = 0;  // control transfers
  // Packets with each error flag, in the order of errorFlags.
  std::array<uint64_t, std::size(errorFlags)> errors{};
  // Bytes on the wire (SYNC, PID, fields, CRC), all of them and in the
  // busiest millisecond of the capture.
  uint64_t wireBytes = 0;
  uint64_t peakMsWireBytes = 0;

  uint64_t transactions() const { return ack + nak + stall + noAnswer; }
  uint64_t errorCount() const;
  // Shares of the 12 Mbit/s bus, 0 to 1: the mean over `spanTicks`, and the
  // busiest millisecond's.
  double meanUse(uint64_t spanTicks) const;
  double peakUse() const;
};

struct TendpointStats {
  uint32_t endpoint = 0;
  TtrafficStats traffic;
};

// A device is an address in the interval between two bus resets: the same
// address after a reset is another device.
struct TdeviceKey {
  uint32_t address = 0;
  uint32_t resetsBefore = 0;  // bus resets before the device's traffic
  bool operator==(const TdeviceKey& o) const {
    return address == o.address && resetsBefore == o.resetsBefore;
  }
  bool operator<(const TdeviceKey& o) const {
    return resetsBefore != o.resetsBefore ? resetsBefore < o.resetsBefore : address < o.address;
  }
};

struct TdeviceStats {
  TdeviceKey key;
  TtrafficStats traffic;
  std::vector<TendpointStats> endpoints;  // by endpoint number
  const TendpointStats* endpoint(uint32_t number) const;
};

struct TcaptureStats {
  TtrafficStats traffic;  // every packet, also those of no transaction
  uint64_t frames = 0;    // SOF packets
  uint64_t resets = 0;
  uint64_t firstTime = 0;  // of the first and last packet or reset, in ticks
  uint64_t lastTime = 0;
  std::vector<TdeviceStats> devices;  // by key: reset interval, then address

  uint64_t spanTicks() const { return lastTime - firstTime; }
  const TdeviceStats* device(const TdeviceKey& key) const;
};

// Counts the capture's rows; the capture must not change meanwhile.
TcaptureStats captureStats(const Tcapture& capture);

// The same in pieces, root by root, for roots that are complete while later
// ones are still being added (a sample file as it loads).
class TstatsCounter {
 public:
  TstatsCounter();
  ~TstatsCounter();
  TstatsCounter(const TstatsCounter&) = delete;
  TstatsCounter& operator=(const TstatsCounter&) = delete;

  // Counts the roots from the first not counted yet up to, not including, `to`.
  void countRoots(const Tcapture& capture, std::size_t to);
  std::size_t rootsCounted() const { return counted; }
  TcaptureStats finished();

 private:
  class Timpl;
  std::unique_ptr<Timpl> impl;
  std::size_t counted = 0;
};
