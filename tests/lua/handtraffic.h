// Bus events written by hand and run through the decode pipeline to rows.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "decode/ovbin2obj.h"
#include "decode/ovcrc.h"
#include "decode/ovobj2tree.h"
#include "decode/ovtree2lin.h"
#include "files/ovlua.h"

class HandTraffic {
 public:
  using Bytes = std::vector<uint8_t>;

  void packet(Bytes b, uint32_t idle = 20) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(idle >> (8 * i)));
    TeventBin e;
    e.kind = 1;
    e.time = time;
    time += 100;
    e.bytes = std::move(b);
    events.push_back(std::move(e));
  }
  static uint8_t pidByte(unsigned pid) { return static_cast<uint8_t>(pid | ((~pid & 15) << 4)); }
  void token(unsigned pid, unsigned addr, unsigned endp) {
    const unsigned field = addr | (endp << 7);
    uint8_t b[2];
    for (unsigned c = 0; c < 32; ++c) {  // the CRC that passes the check
      b[0] = static_cast<uint8_t>(field);
      b[1] = static_cast<uint8_t>((field >> 8) | (c << 3));
      if (crc::checkCRC5(b)) break;
    }
    packet({pidByte(pid), b[0], b[1]});
  }
  void data(unsigned pid, const Bytes& payload) {
    Bytes b{pidByte(pid)};
    b.insert(b.end(), payload.begin(), payload.end());
    const unsigned short c = crc::makeCRC16(payload.data(), payload.size());
    b.push_back(static_cast<uint8_t>(c));
    b.push_back(static_cast<uint8_t>(c >> 8));
    packet(b);
  }
  void handshake(unsigned pid) { packet({pidByte(pid)}); }

  void controlRead(unsigned addr, size_t maxPacket, const Bytes& setup, const Bytes& stage) {
    token(13, addr, 0);
    data(3, setup);
    handshake(2);
    unsigned toggle = 11;
    size_t pos = 0;
    do {
      const size_t n = std::min(maxPacket, stage.size() - pos);
      token(9, addr, 0);
      data(toggle, Bytes(stage.begin() + pos, stage.begin() + pos + n));
      handshake(2);
      toggle ^= 8;
      pos += n;
      if (n < maxPacket) break;
    } while (pos < stage.size());
    token(1, addr, 0);
    data(11, {});
    handshake(2);
  }
  void controlWrite(unsigned addr, const Bytes& setup, const Bytes& stage) {
    token(13, addr, 0);
    data(3, setup);
    handshake(2);
    if (!stage.empty()) {
      token(1, addr, 0);
      data(11, stage);
      handshake(2);
    }
    token(9, addr, 0);
    data(11, {});
    handshake(2);
  }

  std::shared_ptr<TrowList> rows() const {
    TobjVec objs, roots;
    Tbin2obj().buildObjVec(events, objs);
    Tobj2tree(objs, roots);
    auto out = std::make_shared<TrowList>();
    Ttree2lin(roots, *out);
    return out;
  }

 private:
  std::vector<TeventBin> events;
  uint64_t time = 0;
};
