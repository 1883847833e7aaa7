// Hand-made bus traffic from the synthesizer, decoded to rows for the scripts.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>

#include "decode/ovbase.h"
#include "decode/ovbin2obj.h"
#include "decode/ovexthrd.h"
#include "decode/ovobj2tree.h"
#include "decode/ovtree2lin.h"
#include "decodecheck.h"
#include "synth/generator.h"
#include "synth/host.h"
#include "synth/requests.h"

using synth::getDescriptor;

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

// The rows of a scenario's capture, through the whole decode pipeline.
inline std::shared_ptr<TrowList> scenarioRows(const std::string& scenario, double seconds) {
  std::vector<uint8_t> raw = synth::rawCapture(scenario, seconds, 5);
  TexThread decoder;
  decoder.startDecode(&raw);
  return decoder.rows;
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
