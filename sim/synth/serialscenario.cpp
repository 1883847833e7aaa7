#include <random>
#include <string>

#include "synth/classdevices.h"
#include "synth/enumeration.h"
#include "synth/requests.h"

namespace synth {

namespace {

constexpr uint8_t serialAddress = 9;
constexpr unsigned notifyEndpoint = 3, dataInEndpoint = 2, dataOutEndpoint = 2;
constexpr uint8_t dtInterfaceAssociation = 0x0B, dtCsInterface = 0x24;

class TserialScenario : public Tscenario {
 public:
  explicit TserialScenario(uint64_t seed) : rng_(seed), blobs_(cdcAcmBlobs()) {}

  void start(TusbHost& host) override {
    attachDevice(host.bus());
    enumerate(host, blobs_, serialAddress);
    const unsigned mps = blobs_.maxPacket0();
    // What a terminal program does on open.
    pauseFrames(host, 1, 2);
    host.controlWrite(serialAddress, mps, setupRequest(0x21, 0x20, 0, 0, 7), lineCoding115200());
    pauseFrames(host, 0, 1);
    host.controlWrite(serialAddress, mps, setupRequest(0x21, 0x22, 0x0003, 0, 0), {});
    pauseFrames(host, 0, 1);
    host.controlRead(serialAddress, mps, setupRequest(0xA1, 0x21, 0, 0, 7), lineCoding115200());
  }

  void step(TusbHost& host) override {
    TbusWriter& bus = host.bus();
    bus.idleUntil(bus.nextSofTime() + 1);
    bus.idle(host.draw(30, 200));
    const unsigned frame = frames_++;
    if (frame % 16 == 0) host.pollIn(serialAddress, notifyEndpoint, nullptr);
    if (frame % 10 == 5) {
      const std::string command = "AT+GMR\r";
      host.bulkOut(serialAddress, dataOutEndpoint, 64, Tbytes(command.begin(), command.end()));
    }
    if (rng_() % 6 == 0) {
      const std::string reply = "OK;#\r\n";  // separators the decode text must not trip over
      host.bulkIn(serialAddress, dataInEndpoint, 64, Tbytes(reply.begin(), reply.end()));
    } else {
      host.pollIn(serialAddress, dataInEndpoint, nullptr);
    }
  }

 private:
  std::mt19937_64 rng_;
  TdeviceBlobs blobs_;
  unsigned frames_ = 0;
};

}  // namespace

Tbytes lineCoding115200() { return {0x00, 0xC2, 0x01, 0x00, 0, 0, 8}; }

TdeviceBlobs cdcAcmBlobs() {
  TdeviceBlobs blobs;
  // Miscellaneous class, common class, interface association: the function is
  // described by its IAD.
  blobs.device = {18,   dtDevice, 0x00, 0x02, 0xEF, 0x02, 0x01, 64, 0x09,
                  0x12, 0x59,     0x7A, 0x00, 0x01, 1,    2,    3,  1};
  blobs.configuration = {
      9,
      dtConfiguration,
      75,
      0,
      2,
      1,
      0,
      0x80,
      50,
      8,
      dtInterfaceAssociation,
      0,
      2,
      0x02,
      0x02,
      0x01,
      0,  // CDC ACM function over interfaces 0 and 1
      9,
      dtInterface,
      0,
      0,
      1,
      0x02,
      0x02,
      0x01,
      0,  // communication: ACM, AT commands
      5,
      dtCsInterface,
      0x00,
      0x10,
      0x01,  // header, CDC 1.10
      5,
      dtCsInterface,
      0x01,
      0x00,
      1,  // call management, data interface 1
      4,
      dtCsInterface,
      0x02,
      0x02,  // ACM: line coding and serial state
      5,
      dtCsInterface,
      0x06,
      0,
      1,  // union: control 0, subordinate 1
      7,
      dtEndpoint,
      0x83,
      0x03,
      16,
      0,
      16,  // notifications, interrupt IN
      9,
      dtInterface,
      1,
      0,
      2,
      0x0A,
      0x00,
      0x00,
      0,  // data interface
      7,
      dtEndpoint,
      0x82,
      0x02,
      64,
      0,
      0,  // bulk IN
      7,
      dtEndpoint,
      0x02,
      0x02,
      64,
      0,
      0,  // bulk OUT
  };
  blobs.strings = {{4, dtString, 0x09, 0x04},
                   stringDescriptor("Wrenfield Devices"),
                   stringDescriptor("Synthetic Serial Port"),
                   stringDescriptor("SP-000123")};
  return blobs;
}

std::unique_ptr<Tscenario> makeSerialScenario(uint64_t seed) {
  return std::make_unique<TserialScenario>(seed);
}

}  // namespace synth
