// The fixed-size records a decoded capture is stored as. Each is trivially
// copyable, so that it can live in a file mapped into memory.
#pragma once

#include <array>
#include <cstdint>

// One bus event. Its bytes are in the byte log from the end of the event
// before it (or its checkpoint's offset) to its own end; its time and end
// count from the checkpoint it follows, which keeps the record at 8 bytes.
// Each record says where its own bytes end, so a reader on another thread
// never needs a record that is not published yet.
struct TeventRecord {
  uint32_t time = 0;  // ticks after the checkpoint's time
  uint16_t end = 0;   // bytes after the checkpoint's offset; longEvent: see the checkpoint
  uint8_t kind = 0;   // low 6 bits: the event's kind; high 2 bits: its object's level
  uint8_t flags = 0;  // error flags of the event (low 3 bits) and of its object (high 5)
};
static_assert(sizeof(TeventRecord) == 8);

// Where a run of events starts: a new one begins every eventsPerCheckpoint
// events, or earlier when an event's time or end would not fit its record.
// An event of more bytes than a record can say is alone in its run.
struct TeventCheckpoint {
  uint64_t firstEvent = 0;
  uint64_t time = 0;
  uint64_t offset = 0;
  uint64_t longSize = 0;  // the bytes of the run's one long event
};
constexpr uint64_t eventsPerCheckpoint = 256;
constexpr uint16_t longEvent = 0xFFFF;
constexpr uint8_t eventKindBits = 0x3F;
constexpr int eventLevelShift = 6;
// The error flags an event can have are flagPidCheck, flagPidIllegal and
// flagSe1; its object adds flagLength and flagCrc.
constexpr int errorFlagShift = 2;
constexpr uint16_t eventErrorBits = 0x07;
constexpr int objectErrorShift = 3;

// One display row. A packet's or reset's row names its object by its index in
// bus order (or, for a sample file, by the index of its loaded record); a
// grouping row holds what it has of its own (a transaction's type) and finds
// its children in the rows after it, those one level deeper.
struct TrowRecord {
  uint32_t ref = 0;
  // Bits 0-7 the row flags, 8-11 objType, 12 loaded, 13-18 level, 19-31 the
  // distance to the parent's row (0 for a root; farParent: look it up).
  uint32_t shape = 0;
};
static_assert(sizeof(TrowRecord) == 8);

namespace rowshape {
constexpr uint32_t flagsMask = 0xFF;
constexpr int typeShift = 8;
constexpr uint32_t typeMask = 0xF;
constexpr uint32_t loadedBit = 1u << 12;
constexpr int levelShift = 13;
constexpr uint32_t levelMask = 0x3F;
constexpr int upShift = 19;
constexpr uint32_t farParent = 0x1FFF;
// A grouping row's ref: its transaction type and, from a sample file, its
// validity.
constexpr uint32_t invalidRef = 1u << 31;
}  // namespace rowshape

// A parent further than the shape can say, in row order.
struct TfarParent {
  uint64_t row = 0;
  uint64_t parentRow = 0;
};

// The number of rows of each ordinal group before a row, every rowsPerCheckpoint rows:
// resets, packets, transactions, transfers, SOF groups.
using TordinalCheckpoint = std::array<uint32_t, 5>;
constexpr uint64_t rowsPerCheckpoint = 256;

// A packet or reset read from a sample file: its fields as the file gave them,
// which need not agree with any packet bytes. A data packet's payload is in
// a byte log of its own.
struct TloadedLeaf {
  uint64_t time = 0;
  uint64_t dataAt = 0;
  uint32_t dataSize = 0;
  uint32_t pid = 0;
  uint32_t idle = 0;
  uint32_t first = 0;   // frame, address, CRC16 or reset length
  uint32_t second = 0;  // endpoint
  uint32_t crc5 = 0;
  uint16_t flags = 0;
  uint8_t objType = 0;
  uint8_t srcKind = 0;
  uint8_t valid = 1;
  uint8_t crcOK = 1;
};
