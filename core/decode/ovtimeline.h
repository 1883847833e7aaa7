// Bus use over a capture's whole time, for an overview of it: per frame (1 ms)
// the bits on the wire by kind, the packets with errors, the resets and the
// suspends; and coarser levels of 16, 256, ... frames, so that any stretch is
// summed from a few dozen buckets however long it is.
//
// Frames far past what the events so far would fill (more than 64 empty frames
// an event, after the first 70 minutes) are left out.
//
// One thread adds while others read: buckets only grow, and a reader sees a
// packet's bits a little after they were added, never torn (while frames
// change, a coarse sum may be off by a frame for a moment).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decode/ovbase.h"
#include "files/ovmappedfile.h"

// A packet's bits on the wire: sync, PID, payload, CRC and end of packet, not
// counting stuffed bits; 0 for a reset and anything that is not a packet.
uint32_t wireBits(const Tbase& obj);

constexpr uint8_t timelineReset = 0x01;
constexpr uint8_t timelineSuspend = 0x02;  // the bus went idle for 3 ms or more

// What a stretch of frames holds.
struct TtimelineSpan {
  uint64_t sofBits = 0;
  uint64_t handshakeBits = 0;
  uint64_t dataBits = 0;  // tokens and data packets
  uint32_t errors = 0;    // packets with error flags
  uint8_t marks = 0;      // timelineReset, timelineSuspend

  uint64_t bits() const { return sofBits + handshakeBits + dataBits; }
  TtimelineSpan& operator+=(const TtimelineSpan& other);
};

class Ttimeline {
 public:
  static constexpr uint64_t ticksPerFrame = 12000;
  static constexpr unsigned levelShift = 4;  // 16 buckets of a level make one of the next
  static constexpr unsigned levelCount = 8;
  static constexpr uint64_t suspendTicks = 3 * ticksPerFrame;

  Ttimeline();

  // A packet or a reset, in any order.
  void add(const Tbase& obj);

  // Frames from the capture's start to its last packet's.
  uint64_t frameCount() const { return frames.size(); }
  // Level 0 is frames; a bucket of level k holds 16^k frames.
  std::size_t bucketCount(unsigned level) const;
  TtimelineSpan bucket(unsigned level, std::size_t ix) const;
  // Frames [first, end), summed from the coarsest buckets that fit.
  TtimelineSpan span(uint64_t first, uint64_t end) const;
  // Bytes the buckets take.
  uint64_t bytes() const;

 private:
  // Frames are the bulk of it: a few bytes each, counts saturating.
  struct Tframe {
    uint16_t sofBits;
    uint16_t handshakeBits;
    uint16_t dataBits;
    uint8_t errors;
    uint8_t marks;
  };
  void addAt(uint64_t frame, const TtimelineSpan& add);
  // Makes the buckets of every level up to the frame's; false when a file cannot grow.
  bool reachAll(uint64_t frame);
  // Adds the open frame's pending sum to its buckets and opens frame `next`.
  void settle(uint64_t next);
  TtimelineSpan sum(unsigned level, uint64_t first, uint64_t end) const;

  TmappedArray<Tframe> frames;
  std::vector<std::unique_ptr<TmappedArray<TtimelineSpan>>> coarse;  // levels 1 and up
  // The frame packets went to last, and what they added that its buckets lack.
  uint64_t open = 0;
  TtimelineSpan pending;
  uint64_t added = 0;   // packets, resets and suspends
  bool failed = false;  // a file could not grow: later frames are left out
};
