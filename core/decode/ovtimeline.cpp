#include "decode/ovtimeline.h"

#include <algorithm>
#include <limits>

namespace {

constexpr uint32_t syncBits = 8, pidBits = 8, eopBits = 3;
constexpr uint32_t tokenFieldBits = 11 + 5;  // address and endpoint, or frame number; CRC5
constexpr uint16_t errorMask = flagPidCheck | flagPidIllegal | flagSe1 | flagLength | flagCrc;
constexpr uint64_t maxFrames = uint64_t{1} << 32;  // 49 days
// Empty frames cost as much as full ones: a capture whose times leap far ahead of what it
// holds (a file's made-up times) is followed only this far.
constexpr uint64_t framesPerEvent = 64;
constexpr uint64_t framesAnyway = uint64_t{1} << 22;  // 70 minutes

// Readers on other threads load the fields the adding thread changes in place.
template <class T>
T load(const T& field) {
  return __atomic_load_n(&field, __ATOMIC_RELAXED);
}

template <class T>
void addTo(T& field, uint64_t amount, bool replace) {
  const uint64_t sum =
      std::min<uint64_t>((replace ? 0 : load(field)) + amount, std::numeric_limits<T>::max());
  __atomic_store_n(&field, static_cast<T>(sum), __ATOMIC_RELAXED);
}

// A frame's record or a coarser bucket, either way.
// Or, with `replace`, sets it to `add`.
template <class Trecord>
void addSpan(Trecord& into, const TtimelineSpan& add, bool replace = false) {
  addTo(into.sofBits, add.sofBits, replace);
  addTo(into.handshakeBits, add.handshakeBits, replace);
  addTo(into.dataBits, add.dataBits, replace);
  addTo(into.errors, add.errors, replace);
  __atomic_store_n(&into.marks, static_cast<uint8_t>((replace ? 0 : load(into.marks)) | add.marks),
                   __ATOMIC_RELAXED);
}

template <class Trecord>
TtimelineSpan loadSpan(const Trecord& from) {
  TtimelineSpan s;
  s.sofBits = load(from.sofBits);
  s.handshakeBits = load(from.handshakeBits);
  s.dataBits = load(from.dataBits);
  s.errors = load(from.errors);
  s.marks = load(from.marks);
  return s;
}

// Makes records up to index ix; false when the file cannot grow.
template <class T>
bool reach(TmappedArray<T>& array, uint64_t ix) {
  static const std::vector<T> zeros(4096, T{});
  while (array.size() <= ix) {
    const uint64_t count = std::min<uint64_t>(ix + 1 - array.size(), zeros.size());
    if (!array.append(zeros.data(), count)) return false;
  }
  return true;
}

}  // namespace

uint32_t wireBits(const Tbase& obj) {
  switch (obj.objType) {
    case otSof:
    case otToken:
      return syncBits + pidBits + tokenFieldBits + eopBits;
    case otData:
      return syncBits + pidBits + 8 * static_cast<uint32_t>(static_cast<const Tdata&>(obj).data.size()) + 16 +
             eopBits;
    case otHandshake:
      return syncBits + pidBits + eopBits;
    default:
      return 0;
  }
}

TtimelineSpan& TtimelineSpan::operator+=(const TtimelineSpan& other) {
  sofBits += other.sofBits;
  handshakeBits += other.handshakeBits;
  dataBits += other.dataBits;
  errors += other.errors;
  marks |= other.marks;
  return *this;
}

Ttimeline::Ttimeline() : frames(maxFrames) {
  for (unsigned level = 1; level < levelCount; ++level)
    coarse.push_back(std::make_unique<TmappedArray<TtimelineSpan>>(maxFrames >> (levelShift * level)));
}

void Ttimeline::add(const Tbase& obj) {
  TtimelineSpan one;
  uint64_t idleFrom = obj.time;
  uint32_t idle = 0;
  switch (obj.objType) {
    case otReset: {
      const auto& reset = static_cast<const Treset&>(obj);
      one.marks = timelineReset;
      idleFrom += reset.resetLen;
      idle = reset.idle;
      break;
    }
    case otSof:
    case otToken:
    case otData:
    case otHandshake: {
      const uint32_t bits = wireBits(obj);
      (obj.objType == otSof         ? one.sofBits
       : obj.objType == otHandshake ? one.handshakeBits
                                    : one.dataBits) = bits;
      one.errors = (obj.flags & errorMask) != 0;
      idleFrom += bits;
      idle = static_cast<const TpacketBase&>(obj).idle;
      break;
    }
    default:
      return;
  }
  addAt(obj.time / ticksPerFrame, one);
  if (idle < suspendTicks) return;
  TtimelineSpan suspend;
  suspend.marks = timelineSuspend;
  addAt(idleFrom / ticksPerFrame, suspend);
}

void Ttimeline::addAt(uint64_t frame, const TtimelineSpan& add) {
  ++added;
  if (failed || frame >= maxFrames || frame > added * framesPerEvent + framesAnyway) return;
  if (frame >= frames.size() && !reachAll(frame)) return;
  // Packets come frame by frame: a frame's sum goes to the buckets once, as the next begins.
  if (frame != load(open)) settle(frame);
  addSpan(pending, add);
}

bool Ttimeline::reachAll(uint64_t frame) {
  bool grown = reach(frames, frame);
  for (unsigned level = 1; grown && level < levelCount; ++level)
    grown = reach(*coarse[level - 1], frame >> (levelShift * level));
  failed = !grown;
  return grown;
}

void Ttimeline::settle(uint64_t next) {
  const TtimelineSpan settled = loadSpan(pending);
  const uint64_t was = load(open);
  addSpan(frames[was], settled);
  for (unsigned level = 1; level < levelCount; ++level)
    addSpan((*coarse[level - 1])[was >> (levelShift * level)], settled);
  __atomic_store_n(&open, next, __ATOMIC_RELAXED);
  addSpan(pending, TtimelineSpan{}, true);
}

std::size_t Ttimeline::bucketCount(unsigned level) const {
  return level == 0 ? frames.size() : coarse[level - 1]->size();
}

TtimelineSpan Ttimeline::bucket(unsigned level, std::size_t ix) const {
  TtimelineSpan s = level == 0 ? loadSpan(frames[ix]) : loadSpan((*coarse[level - 1])[ix]);
  // The open frame's packets are still only in the pending sum.
  if (load(open) >> (levelShift * level) == ix) s += loadSpan(pending);
  return s;
}

TtimelineSpan Ttimeline::span(uint64_t first, uint64_t end) const {
  return sum(levelCount - 1, first, std::min<uint64_t>(end, frameCount()));
}

TtimelineSpan Ttimeline::sum(unsigned level, uint64_t first, uint64_t end) const {
  TtimelineSpan s;
  if (first >= end) return s;
  if (level == 0) {
    for (uint64_t f = first; f < end; ++f) s += bucket(0, f);
    return s;
  }
  // Whole buckets of this level in the middle; the ends from finer ones.
  const unsigned shift = levelShift * level;
  const uint64_t size = uint64_t{1} << shift;
  const uint64_t from = (first + size - 1) >> shift;
  const uint64_t to = std::min<uint64_t>(end >> shift, bucketCount(level));
  if (from >= to) return sum(level - 1, first, end);
  s = sum(level - 1, first, from << shift);
  for (uint64_t ix = from; ix < to; ++ix) s += bucket(level, ix);
  s += sum(level - 1, to << shift, end);
  return s;
}

uint64_t Ttimeline::bytes() const {
  uint64_t total = frames.size() * sizeof(Tframe);
  for (const auto& level : coarse) total += level->size() * sizeof(TtimelineSpan);
  return total;
}
