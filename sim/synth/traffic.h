// Bus time line of synthetic traffic: packets, resets and idle J, with a SOF at
// every 1 ms frame boundary, written as line-state runs together with the bus
// events a decoder is expected to find in them.
#pragma once

#include <cstdint>
#include <vector>

#include "decode/ovbase.h"
#include "synth/linestate.h"

namespace synth {

constexpr uint32_t ticksPerFrame = 12000;

class TbusWriter {
 public:
  TbusWriter();

  // SOFs at every frame boundary (on by default). Boundaries passed while they
  // are off, or during a reset, are skipped but still count frame numbers.
  void setSofs(bool on);
  void setFrame(unsigned frame) { frame_ = frame & 0x7FF; }
  unsigned frame() const { return frame_; }
  uint64_t nextSofTime() const { return nextSof_; }
  uint64_t time() const { return time_; }

  // J for the given ticks, with the SOFs that fall due.
  void idle(uint64_t ticks);
  void idleUntil(uint64_t tick);
  // Idles into the next frame if `ticks` of traffic would not end before its SOF.
  void reserve(uint64_t ticks);
  // Upper bound of the ticks a packet of n bytes takes (sync, stuffing, EOP).
  static uint64_t packetTicks(size_t n) { return 8 + (n * 8 * 7 + 5) / 6 + 3; }

  // A packet at the current time (at least one J after the previous event).
  // Returns false when a requested fault had no place in this packet.
  bool packet(const Tbytes& bytes, const TpacketFaults& faults = {});
  // SE0 for se0Ticks: a bus reset, or a detached device at the start of a capture.
  void reset(uint32_t se0Ticks);

  // Off: expected events are not kept, for endless streams nobody checks.
  void setRecording(bool on) { recording_ = on; }

  // Closes the last event with at least minIdle ticks of J.
  void finish(uint32_t minIdle = 3);

  // Runs written since the last call (the writer keeps going on empty).
  TlineRuns takeRuns();
  // The same into out, whose storage the writer reuses.
  void takeRuns(TlineRuns& out);
  // Expected events whose trailing run length is known by now.
  std::vector<TeventBin> takeEvents();
  const TlineRuns& runs() const { return runs_; }

 private:
  void sofIfDue();
  void skipBoundaries();
  void beginEvent();
  void closeEvent();

  TlineRuns runs_;
  std::vector<TeventBin> events_;
  bool open_ = false;     // events_.back() still waits for its trailing length
  bool se0Last_ = false;  // an SE0 just ended: a J must follow
  uint64_t time_ = 0;
  uint64_t jSinceEvent_ = 0;
  bool recording_ = true;
  bool sofs_ = true;
  bool inSof_ = false;
  unsigned frame_ = 0;
  uint64_t nextSof_ = ticksPerFrame;
};

}  // namespace synth
