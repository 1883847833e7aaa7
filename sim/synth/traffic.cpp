#include "synth/traffic.h"

#include <algorithm>
#include <utility>

#include "decode/ovutils.h"

namespace synth {

namespace {

void appendLe32(std::vector<uint8_t>& bytes, uint64_t value) {
  const uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Flags a decoder sets from the PID byte alone.
uint16_t pidFlags(uint8_t pid) {
  uint16_t flags = 0;
  if (((~pid >> 4) ^ pid) & 15) flags |= flagPidCheck;
  if (!utils::pidIsFsLegal(pid & 15)) flags |= flagPidIllegal;
  return flags;
}

}  // namespace

TbusWriter::TbusWriter() = default;

void TbusWriter::idle(uint64_t ticks) { idleUntil(time_ + ticks); }

void TbusWriter::idleUntil(uint64_t tick) {
  while (time_ < tick) {
    if (sofs_ && nextSof_ <= time_) {
      sofIfDue();  // late: traffic ran over the boundary
      continue;
    }
    const uint64_t stop = std::min({sofs_ && nextSof_ < tick ? nextSof_ : tick, time_ + UINT32_MAX});
    appendRun(runs_, lsJ, static_cast<uint32_t>(stop - time_));
    jSinceEvent_ += stop - time_;
    time_ = stop;
    if (sofs_ && time_ == nextSof_ && time_ < tick) sofIfDue();
  }
  if (!sofs_) skipBoundaries();
}

void TbusWriter::setSofs(bool on) {
  sofs_ = on;
  skipBoundaries();
}

void TbusWriter::reserve(uint64_t ticks) {
  // Keep a margin so the SOF itself does not land inside the traffic.
  constexpr uint64_t guard = 60;
  if (sofs_ && time_ + ticks + guard > nextSof_) idleUntil(nextSof_ + 1);
}

void TbusWriter::skipBoundaries() {
  while (nextSof_ < time_) {
    nextSof_ += ticksPerFrame;
    frame_ = (frame_ + 1) & 0x7FF;
  }
}

void TbusWriter::sofIfDue() {
  if (!sofs_ || inSof_ || nextSof_ > time_) return;
  inSof_ = true;
  packet(sofPacket(frame_));
  inSof_ = false;
  nextSof_ += ticksPerFrame;
  frame_ = (frame_ + 1) & 0x7FF;
}

void TbusWriter::beginEvent() {
  if (se0Last_ && jSinceEvent_ == 0) {
    appendRun(runs_, lsJ, 1);
    ++time_;
    jSinceEvent_ = 1;
  }
  se0Last_ = false;
  closeEvent();
  if (!recording_) events_.clear();
}

void TbusWriter::closeEvent() {
  if (open_) appendLe32(events_.back().bytes, jSinceEvent_);
  open_ = false;
  jSinceEvent_ = 0;
}

bool TbusWriter::packet(const Tbytes& bytes, const TpacketFaults& faults) {
  beginEvent();
  if (!inSof_ && sofs_ && nextSof_ <= time_) {
    // A late boundary (traffic ran over it) still gets its SOF first.
    sofIfDue();
    beginEvent();
  }

  TeventBin event;
  event.kind = srcKindPacket;
  event.time = time_;
  const TpacketWire wire = appendPacket(runs_, bytes, faults);
  if (!faults.brokenSync) {
    event.bytes = bytes;
    if (!bytes.empty()) event.flags = pidFlags(bytes[0]);
  }
  if (wire.se1Placed) event.flags |= flagSe1;
  events_.push_back(std::move(event));
  open_ = true;
  se0Last_ = true;
  time_ += wire.ticks;
  return wire.faultsApplied;
}

void TbusWriter::reset(uint32_t se0Ticks) {
  beginEvent();
  TeventBin event;
  event.kind = srcKindReset;
  event.time = time_;
  event.bytes.push_back(0x10);
  appendLe32(event.bytes, se0Ticks);
  events_.push_back(std::move(event));
  open_ = true;
  se0Last_ = true;
  appendRun(runs_, lsSe0, se0Ticks);
  time_ += se0Ticks;
  // No SOFs while the bus is held in reset.
  skipBoundaries();
  if (nextSof_ == time_) {
    nextSof_ += ticksPerFrame;
    frame_ = (frame_ + 1) & 0x7FF;
  }
}

void TbusWriter::finish(uint32_t minIdle) {
  if (open_ && jSinceEvent_ < minIdle) idle(minIdle - jSinceEvent_);
  closeEvent();
}

TlineRuns TbusWriter::takeRuns() {
  TlineRuns out;
  out.swap(runs_);
  return out;
}

void TbusWriter::takeRuns(TlineRuns& out) {
  out.clear();
  out.swap(runs_);
}

std::vector<TeventBin> TbusWriter::takeEvents() {
  std::vector<TeventBin> out;
  if (open_) {
    TeventBin last = std::move(events_.back());
    events_.pop_back();
    out.swap(events_);
    events_.push_back(std::move(last));
  } else {
    out.swap(events_);
  }
  return out;
}

}  // namespace synth
