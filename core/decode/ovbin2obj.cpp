#include "decode/ovbin2obj.h"

#include <cstddef>

#include "decode/ovarena.h"
#include "decode/ovcrc.h"
#include "decode/ovutils.h"

namespace {

constexpr std::size_t idleBytes = 4;
constexpr std::size_t resetBytes = 9;  // 0x10, SE0 length, length of the state after it
constexpr uint8_t resetMarker = 0x10;

uint32_t readLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The 16-bit field after a token or SOF PID. Only bytes of the packet itself
// are used, so a short packet never reads its idle time as address or frame.
uint32_t tokenField(const uint8_t* p, std::size_t n) {
  return (n > 1 ? uint32_t{p[1]} : 0) | (n > 2 ? uint32_t{p[2]} << 8 : 0);
}

// Tokens and SOFs share the layout after the PID: 11 bits of fields, then
// their CRC5. Sets the CRC and length results and returns the 16-bit field.
template <class T>
uint32_t takeCrc5Field(T& obj, const uint8_t* p, std::size_t n) {
  const uint32_t f = tokenField(p, n);
  obj.crc5 = f >> 11;
  obj.crcOK = n >= 3 && crc::checkCRC5(p + 1);
  if (n != 3) obj.flags |= flagLength;
  if (!obj.crcOK) obj.flags |= flagCrc;
  return f;
}

void splitTarget(uint32_t field, uint32_t& addr, uint32_t& endp) {
  addr = field & 127;
  endp = (field >> 7) & 15;
}

template <class T>
void fillPacket(T& obj, const TeventBin& ev, uint32_t pid, uint32_t idle) {
  obj.srcKind = ev.kind;
  obj.time = ev.time;
  obj.pid = pid;
  obj.idle = idle;
  obj.flags = ev.flags;
  if (!utils::pidIsFsLegal(pid)) obj.flags |= flagPidIllegal;
}

}  // namespace

class Tbin2obj::Timpl {
 public:
  static TobjPtr binPacket2Object(const TeventBin& ev);
  static TobjPtr binEvent2Object(const TeventBin& ev);
};

TobjPtr Tbin2obj::Timpl::binPacket2Object(const TeventBin& ev) {
  // An event without packet bytes (no sync found) has nothing to show.
  if (ev.bytes.size() <= idleBytes) return nullptr;
  const uint8_t* p = ev.bytes.data();
  const std::size_t n = ev.bytes.size() - idleBytes;
  const uint32_t pid = p[0] & 15;
  const uint32_t idle = readLe32(p + n);

  switch (utils::packetType(pid)) {
    case L0eventType::Token: {
      auto obj = arena::make<Ttoken>();
      fillPacket(*obj, ev, pid, idle);
      splitTarget(takeCrc5Field(*obj, p, n), obj->addr, obj->endp);
      return obj;
    }
    case L0eventType::Sof: {
      auto obj = arena::make<Tsof>();
      fillPacket(*obj, ev, pid, idle);
      obj->frame = takeCrc5Field(*obj, p, n) & 0x7FF;
      return obj;
    }
    case L0eventType::Data: {
      auto obj = arena::make<Tdata>();
      fillPacket(*obj, ev, pid, idle);
      if (n > 2) {
        obj->crc16 = uint32_t{p[n - 2]} | uint32_t{p[n - 1]} << 8;
        obj->crcOK = crc::checkCRC16(p + 1, n - 3, static_cast<unsigned short>(obj->crc16));
        if (!obj->crcOK) obj->flags |= flagCrc;
        if (n > 3) obj->data.assign(p + 1, p + n - 2);
      } else {
        obj->flags |= flagLength;
      }
      return obj;
    }
    case L0eventType::Handshake: {
      auto obj = arena::make<Thandshake>();
      fillPacket(*obj, ev, pid, idle);
      if (n != 1) obj->flags |= flagLength;
      return obj;
    }
    default:
      // PING, SPLIT, ERR/PRE and the reserved PID 0 make no object.
      return nullptr;
  }
}

TobjPtr Tbin2obj::Timpl::binEvent2Object(const TeventBin& ev) {
  if (ev.bytes.size() < resetBytes || ev.bytes[0] != resetMarker) return nullptr;
  auto obj = arena::make<Treset>();
  obj->time = ev.time;
  obj->resetLen = readLe32(ev.bytes.data() + 1);
  obj->idle = readLe32(ev.bytes.data() + 5);
  return obj;
}

Tbin2obj::Tbin2obj() : impl(std::make_unique<Timpl>()) {}
Tbin2obj::~Tbin2obj() = default;

bool Tbin2obj::buildObjVec(const std::vector<TeventBin>& events, TobjVec& objs) {
  return buildObjVec(events, 0, objs);
}

void Tbin2obj::tokenTarget(const uint8_t* bytes, std::size_t size, uint32_t& addr, uint32_t& endp) {
  splitTarget(tokenField(bytes, size > idleBytes ? size - idleBytes : 0), addr, endp);
}

TobjPtr Tbin2obj::objectOf(const TeventBin& ev) {
  switch (ev.kind) {
    case srcKindPacket:
      return Timpl::binPacket2Object(ev);
    case srcKindReset:
      return Timpl::binEvent2Object(ev);
    default:
      return nullptr;
  }
}

bool Tbin2obj::buildObjVec(const std::vector<TeventBin>& events, std::size_t first, TobjVec& objs) {
  // One bad event must not hide the rest of the capture: skip it and go on.
  bool ok = true;
  for (std::size_t e = first; e < events.size(); ++e) {
    TobjPtr obj = objectOf(events[e]);
    ok &= obj != nullptr;
    if (obj) objs.push_back(std::move(obj));
  }
  return ok;
}
