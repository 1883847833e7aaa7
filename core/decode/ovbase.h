// The decoded-object model shared by the whole decode pipeline and its readers.
// Times are ticks: one full-speed bit time, 1/12 microsecond, counted from the
// start of the capture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

constexpr int ticksPerMicrosecond = 12;

// Error flag bits, shared by TeventBin and Tbase.
constexpr uint16_t flagPidCheck = 0x04;    // PID check nibble is not the complement
constexpr uint16_t flagPidIllegal = 0x08;  // PID not legal on a full-speed bus
constexpr uint16_t flagSe1 = 0x10;         // SE1 line state inside the packet
constexpr uint16_t flagLength = 0x20;      // wrong length for the packet type
constexpr uint16_t flagCrc = 0x40;         // CRC5 or CRC16 check failed

// The error flags under the names a user reads them by.
struct TerrorFlag {
  uint16_t flag;
  const char* name;
};
inline constexpr TerrorFlag errorFlags[] = {{flagPidCheck, "PID check"},
                                            {flagPidIllegal, "illegal PID"},
                                            {flagSe1, "SE1"},
                                            {flagLength, "length"},
                                            {flagCrc, "CRC"}};

// Row flag bits set by the row builder; 0x08, 0x40 and 0x80 belong to the display model.
constexpr uint8_t rowFlagSof = 0x01;
constexpr uint8_t rowFlagPacket = 0x04;

constexpr uint8_t srcKindPacket = 1;
constexpr uint8_t srcKindReset = 3;
constexpr uint8_t srcKindOther = 99;  // the character 'c'

enum TobjType : uint32_t {
  otReset = 0,
  otSof = 1,
  otToken = 2,
  otData = 3,
  otHandshake = 4,
  otSofGroup = 5,
  otTransax = 6,
  otTransfer = 7,
  otGrouper = 8,
};

// PIDs by their 4-bit value, the low nibble of the PID byte.
enum Tpid : uint32_t {
  pidReserved = 0,
  pidOut = 1,
  pidAck = 2,
  pidData0 = 3,
  pidPing = 4,
  pidSof = 5,
  pidNyet = 6,
  pidData2 = 7,
  pidSplit = 8,
  pidIn = 9,
  pidNak = 10,
  pidData1 = 11,
  pidPre = 12,
  pidSetup = 13,
  pidStall = 14,
  pidMdata = 15,
};

enum class L0eventType : uint32_t { Token, Data, Handshake, Sof, Special, Reserved, Reset, Undefined };
enum class L1groupType : uint32_t { Reset, SOF, SOFgroup, Control, In, Out, Undefined };
enum class TtrxType : uint32_t { SETUP, IN, OUT, Undefined };

// One bus event: a packet (kind 1) or a bus reset (kind 3).
// Packet bytes: the decoded packet (PID first), then the idle ticks after the
// end of packet as 4 bytes little-endian. Reset bytes: 0x10, the SE0 length and
// the length of the following line state, each 4 bytes little-endian.
struct TeventBin {
  uint8_t kind = 0;
  uint16_t flags = 0;
  uint64_t time = 0;
  std::vector<uint8_t> bytes;
};

// A bus event where the capture holds it, its bytes not copied: valid until
// the capture changes.
struct TeventView {
  uint8_t kind = 0;
  uint16_t flags = 0;
  uint64_t time = 0;
  const uint8_t* bytes = nullptr;
  std::size_t size = 0;
};

// Root of the decoded objects. Only the destructor is virtual: code branches on
// objType. Fields are packed to keep large captures small in memory.
class Tbase {
 public:
  virtual ~Tbase() = default;

  uint8_t srcKind = srcKindOther;
  bool valid = true;  // false when the text-form reader met a malformed field
  uint16_t flags = 0;
  uint32_t objType;
  int32_t level = 0;
  int32_t row = 0;
  int32_t parentRow = -1;
  int32_t ordinal = 6666;
  uint64_t time = 0;

 protected:
  // Only through a class of its own, so that objType always names the object's class.
  explicit Tbase(uint32_t type) : objType(type) {}
};

class Treset : public Tbase {
 public:
  Treset() : Tbase(otReset) {}
  uint32_t resetLen = 0;
  uint32_t idle = 0;
};

class TpacketBase : public Tbase {
 public:
  uint32_t pid = 0;
  uint32_t idle = 0;

 protected:
  explicit TpacketBase(uint32_t type) : Tbase(type) {}
};

class Tsof : public TpacketBase {
 public:
  Tsof() : TpacketBase(otSof) {}
  uint32_t frame = 0;
  uint32_t crc5 = 0;
  bool crcOK = true;
};

class Ttoken : public TpacketBase {
 public:
  Ttoken() : TpacketBase(otToken) {}
  uint32_t addr = 0;
  uint32_t endp = 0;
  uint32_t crc5 = 0;
  bool crcOK = true;
};

class Tdata : public TpacketBase {
 public:
  Tdata() : TpacketBase(otData) {}
  std::vector<uint8_t> data;
  uint32_t crc16 = 0;
  bool crcOK = true;
};

class Thandshake : public TpacketBase {
 public:
  Thandshake() : TpacketBase(otHandshake) {}
};

// Grouping objects have no time of their own: all ones.
class Tgrouper : public Tbase {
 public:
  Tgrouper() : Tgrouper(otGrouper) {}
  std::vector<std::shared_ptr<Tbase>> children;

 protected:
  explicit Tgrouper(uint32_t type) : Tbase(type) { time = ~uint64_t{0}; }
};

class TsofGroup : public Tgrouper {
 public:
  TsofGroup() : Tgrouper(otSofGroup) {}
};

using TobjPtr = std::shared_ptr<Tbase>;
using TobjVec = std::vector<TobjPtr>;

// One display row: the object and the row flag bits.
struct TlinRow {
  std::shared_ptr<Tbase> obj;
  uint8_t flags = 0;
};
