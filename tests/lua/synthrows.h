// Hand-made bus traffic from the synthesizer, decoded to rows for the scripts.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>

#include "decode/ovbase.h"
#include "decode/ovbin2obj.h"
#include "decode/ovobj2tree.h"
#include "decode/ovtree2lin.h"
#include "decodecheck.h"
#include "synth/host.h"

struct Ttraffic {
  synth::TbusWriter bus;
  synth::TusbHost host{bus, 3};

  // Exactly these packets, with a short idle after each.
  void packets(std::initializer_list<synth::Tbytes> list) {
    for (const synth::Tbytes& p : list) {
      bus.packet(p);
      bus.idle(8);
    }
  }
  std::shared_ptr<TrowList> rows() {
    bus.finish();
    TobjVec objs, roots;
    Tbin2obj().buildObjVec(bus.takeEvents(), objs);
    Tobj2tree(objs, roots);
    auto out = std::make_shared<TrowList>();
    Ttree2lin(roots, *out);
    return out;
  }
};

inline synth::Tbytes getDescriptor(uint8_t type, uint8_t index, uint16_t wIndex = 0, uint16_t length = 255) {
  return {0x80,
          6,
          index,
          type,
          static_cast<uint8_t>(wIndex),
          static_cast<uint8_t>(wIndex >> 8),
          static_cast<uint8_t>(length),
          static_cast<uint8_t>(length >> 8)};
}

// The transfer text of a single control read of `stage`.
inline std::string readText(const synth::Tbytes& setup, const synth::Tbytes& stage) {
  Ttraffic traffic;
  traffic.host.controlRead(3, 64, setup, stage);
  return decodeAll(traffic.rows()).find(otTransfer, "Control transfer");
}

inline bool has(const std::string& text, const std::string& needle) {
  return text.find(needle) != std::string::npos;
}
