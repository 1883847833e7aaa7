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

// Every member of a packet object the event gives, whatever the object held.
template <class T>
void setPacket(T& obj, const TeventView& ev, uint32_t pid, uint32_t idle) {
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
  static void fillPacket(const TeventView& ev, Tbase& obj);
  static void fillReset(const TeventView& ev, Treset& obj);
};

void Tbin2obj::Timpl::fillPacket(const TeventView& ev, Tbase& obj) {
  const uint8_t* p = ev.bytes;
  const std::size_t n = ev.size - idleBytes;
  const uint32_t pid = p[0] & 15;
  const uint32_t idle = readLe32(p + n);

  switch (obj.objType) {
    case otToken: {
      auto& token = static_cast<Ttoken&>(obj);
      setPacket(token, ev, pid, idle);
      splitTarget(takeCrc5Field(token, p, n), token.addr, token.endp);
      break;
    }
    case otSof: {
      auto& sof = static_cast<Tsof&>(obj);
      setPacket(sof, ev, pid, idle);
      sof.frame = takeCrc5Field(sof, p, n) & 0x7FF;
      break;
    }
    case otData: {
      auto& data = static_cast<Tdata&>(obj);
      setPacket(data, ev, pid, idle);
      data.crc16 = 0;
      data.crcOK = true;
      data.data.clear();
      if (n > 2) {
        data.crc16 = uint32_t{p[n - 2]} | uint32_t{p[n - 1]} << 8;
        data.crcOK = crc::checkCRC16(p + 1, n - 3, static_cast<unsigned short>(data.crc16));
        if (!data.crcOK) data.flags |= flagCrc;
        if (n > 3) data.data.assign(p + 1, p + n - 2);
      } else {
        data.flags |= flagLength;
      }
      break;
    }
    default: {
      auto& handshake = static_cast<Thandshake&>(obj);
      setPacket(handshake, ev, pid, idle);
      if (n != 1) handshake.flags |= flagLength;
      break;
    }
  }
}

void Tbin2obj::Timpl::fillReset(const TeventView& ev, Treset& obj) {
  obj.time = ev.time;
  obj.resetLen = readLe32(ev.bytes + 1);
  obj.idle = readLe32(ev.bytes + 5);
}

uint32_t Tbin2obj::classOf(const TeventView& ev) {
  switch (ev.kind) {
    case srcKindPacket:
      // An event without packet bytes (no sync found) has nothing to show.
      if (ev.size <= idleBytes) return otGrouper;
      switch (utils::packetType(ev.bytes[0] & 15)) {
        case L0eventType::Token:
          return otToken;
        case L0eventType::Sof:
          return otSof;
        case L0eventType::Data:
          return otData;
        case L0eventType::Handshake:
          return otHandshake;
        default:
          // PING, SPLIT, ERR/PRE and the reserved PID 0 make no object.
          return otGrouper;
      }
    case srcKindReset:
      return ev.size < resetBytes || ev.bytes[0] != resetMarker ? otGrouper : otReset;
    default:
      return otGrouper;
  }
}

TobjPtr Tbin2obj::newObject(uint32_t objType) {
  switch (objType) {
    case otReset:
      return arena::make<Treset>();
    case otSof:
      return arena::make<Tsof>();
    case otToken:
      return arena::make<Ttoken>();
    case otData:
      return arena::make<Tdata>();
    default:
      return arena::make<Thandshake>();
  }
}

void Tbin2obj::fill(const TeventView& ev, Tbase& obj) {
  if (obj.objType == otReset)
    Timpl::fillReset(ev, static_cast<Treset&>(obj));
  else
    Timpl::fillPacket(ev, obj);
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
  return objectOf(TeventView{ev.kind, ev.flags, ev.time, ev.bytes.data(), ev.bytes.size()});
}

TobjPtr Tbin2obj::objectOf(const TeventView& ev) {
  const uint32_t type = classOf(ev);
  if (type == otGrouper) return nullptr;
  TobjPtr obj = newObject(type);
  fill(ev, *obj);
  return obj;
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
