// Hand-made bus traffic from the synthesizer, decoded to rows for the scripts.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>

#include "decode/ovchain.h"
#include "decode/ovexthrd.h"
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
  std::shared_ptr<Tcapture> rows() {
    bus.finish();
    auto out = std::make_shared<Tcapture>();
    for (TeventBin& event : bus.takeEvents()) out->appendEvent(std::move(event));
    TdecodeChain(*out).takeEvents(true);
    return out;
  }
};

// The rows of a scenario's capture, through the whole decode pipeline.
inline std::shared_ptr<Tcapture> scenarioRows(const std::string& scenario, double seconds) {
  std::vector<uint8_t> raw = synth::rawCapture(scenario, seconds, 5);
  TexThread decoder;
  decoder.startDecode(&raw);
  return decoder.capture;
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
