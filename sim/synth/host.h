// A host on the synthetic bus: transactions with realistic turnaround gaps,
// and transfers that keep each endpoint's data toggle.
#pragma once

#include <cstdint>
#include <map>
#include <random>

#include "synth/traffic.h"

namespace synth {

// What the other side answers: a handshake, or nothing at all.
enum class Treply { ack, nak, stall, none };

// Idle J ticks between packets, each drawn from [min, max].
struct ThostTiming {
  uint32_t hostGapMin = 3, hostGapMax = 8;      // host data after its token
  uint32_t deviceGapMin = 3, deviceGapMax = 8;  // device turnaround, at most 7.5 bit times
  uint32_t timeout = 18;                        // host gives up waiting for a reply
  uint32_t betweenMin = 20, betweenMax = 120;   // host's next transaction
  unsigned nakPercent = 25;                     // chance that a device NAKs a control IN once first
};

class TusbHost {
 public:
  explicit TusbHost(TbusWriter& bus, uint64_t seed = 1, const ThostTiming& timing = {});
  TbusWriter& bus() { return bus_; }

  // Single transactions. reply is the device's handshake for SETUP and OUT; for
  // IN, ack means the device sends the data and the host acknowledges it.
  void setup(unsigned addr, unsigned endp, const Tbytes& request, Treply reply = Treply::ack);
  void in(unsigned addr, unsigned endp, unsigned dataPid, const Tbytes& payload, Treply reply = Treply::ack);
  void out(unsigned addr, unsigned endp, unsigned dataPid, const Tbytes& payload, Treply reply = Treply::ack);

  // Control transfers on endpoint 0: SETUP, data stage split at maxPacket (a
  // zero-length packet ends a full last packet shorter than wLength), status.
  void controlRead(unsigned addr, unsigned maxPacket, const Tbytes& request, const Tbytes& data);
  void controlWrite(unsigned addr, unsigned maxPacket, const Tbytes& request, const Tbytes& data);
  // One interrupt or bulk IN poll: NAK when data is null, else data with the toggle.
  void pollIn(unsigned addr, unsigned endp, const Tbytes* data);
  void bulkIn(unsigned addr, unsigned endp, unsigned maxPacket, const Tbytes& data, unsigned naks = 0);
  void bulkOut(unsigned addr, unsigned endp, unsigned maxPacket, const Tbytes& data);

  // Forget every toggle, as after a bus reset or SET_CONFIGURATION.
  void resetToggles() { toggles_.clear(); }
  uint32_t draw(uint32_t min, uint32_t max);

 private:
  unsigned nextToggle(unsigned addr, unsigned endp, bool in);
  void hostData(unsigned tokenPid, unsigned addr, unsigned endp, unsigned dataPid, const Tbytes& payload,
                Treply reply);
  void handshake(Treply reply);
  bool nakOnce();
  void between();
  void reserveFor(size_t dataBytes);

  TbusWriter& bus_;
  std::mt19937_64 rng_;
  ThostTiming timing_;
  std::map<unsigned, bool> toggles_;  // true: next data packet is DATA1
};

}  // namespace synth
