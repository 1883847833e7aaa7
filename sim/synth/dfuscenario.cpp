#include <algorithm>

#include "synth/classdevices.h"
#include "synth/enumeration.h"
#include "synth/requests.h"

namespace synth {

namespace {

constexpr uint8_t dfuAddress = 6;
constexpr uint8_t dfuDnload = 1, dfuUpload = 2, dfuGetStatus = 3, dfuGetState = 5;
constexpr uint8_t stateIdle = 2, stateDnBusy = 4, stateDnloadIdle = 5, stateManifest = 7;
constexpr uint32_t dfuseFlash = 0x08000000;
constexpr unsigned busyMs = 5;

Tbytes status(uint8_t state, unsigned pollMs) {
  return {0, static_cast<uint8_t>(pollMs), static_cast<uint8_t>(pollMs >> 8), 0, state, 0};
}

Tbytes command(uint8_t code, uint32_t address) {
  return {code, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8),
          static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 24)};
}

// A firmware download into a device in DFU mode: each block DNLOADed, the
// device busy once (GETSTATUS says how long), then idle again; a zero-length
// DNLOAD ends it and the device manifests until the host resets the bus.
// DfuSe first sets the address pointer and erases the page, and numbers its
// data blocks from 2.
class TdfuScenario : public Tscenario {
 public:
  explicit TdfuScenario(bool dfuse) : dfuse_(dfuse), blobs_(dfuBlobs(dfuse)) {}

  void start(TusbHost& host) override {
    attachDevice(host.bus());
    enumerate(host, blobs_, dfuAddress);
    pauseFrames(host, 1, 1);
    read(host, dfuGetStatus, 0, status(stateIdle, 0));
    read(host, dfuGetState, 0, {stateIdle});
    if (dfuse_) {
      read(host, dfuUpload, 0, {0x00, 0x21, 0x41, 0x92});
      download(host, 0, command(0x21, dfuseFlash));
      download(host, 0, command(0x41, dfuseFlash));
    }
    const Tbytes& image = dfuImage();
    const size_t size = dfuTransferSize(dfuse_);
    uint16_t block = dfuse_ ? 2 : 0;
    for (size_t at = 0; at < image.size(); at += size, ++block)
      download(host, block, Tbytes(image.begin() + at, image.begin() + std::min(image.size(), at + size)));
    if (dfuse_) download(host, 0, command(0x21, dfuseFlash));
    host.controlWrite(dfuAddress, blobs_.maxPacket0(), setupRequest(0x21, dfuDnload, block, 0, 0), {});
    read(host, dfuGetStatus, 0, status(stateManifest, 0));
    pauseFrames(host, 1, 1);
    host.bus().reset(10 * ticksPerMs);
  }

  void step(TusbHost& host) override {
    TbusWriter& bus = host.bus();
    bus.idleUntil(bus.nextSofTime() + 1);
  }

 private:
  void read(TusbHost& host, uint8_t request, uint16_t value, const Tbytes& data) {
    pauseFrames(host, 0, 1);
    host.controlRead(dfuAddress, blobs_.maxPacket0(),
                     setupRequest(0xA1, request, value, 0, static_cast<uint16_t>(data.size())), data);
  }

  void download(TusbHost& host, uint16_t block, const Tbytes& data) {
    pauseFrames(host, 0, 1);
    host.controlWrite(dfuAddress, blobs_.maxPacket0(),
                      setupRequest(0x21, dfuDnload, block, 0, static_cast<uint16_t>(data.size())), data);
    read(host, dfuGetStatus, 0, status(stateDnBusy, busyMs));
    host.bus().idle(uint64_t{busyMs} * ticksPerMs);
    read(host, dfuGetStatus, 0, status(stateDnloadIdle, 0));
  }

  bool dfuse_;
  TdeviceBlobs blobs_;
};

}  // namespace

size_t dfuTransferSize(bool dfuse) { return dfuse ? 2048 : 1024; }

const Tbytes& dfuImage() {
  static const Tbytes image = [] {
    Tbytes b(2500);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    return b;
  }();
  return image;
}

TdeviceBlobs dfuBlobs(bool dfuse) {
  TdeviceBlobs b;
  b.device = {18, dtDevice, 0x00, 0x02, 0, 0, 0, 64, 0x09, 0x12, 0x5C, 0x7A, 0x00, 0x02, 1, 2, 3, 1};
  const uint16_t size = static_cast<uint16_t>(dfuTransferSize(dfuse));
  const uint16_t version = dfuse ? 0x011A : 0x0110;
  b.configuration = {9, dtConfiguration, 27, 0, 1, 1, 0, 0x80, 50,
                     // DFU mode: application-specific class, DFU subclass, protocol 2
                     9, dtInterface, 0, 0, 0, 0xFE, 0x01, 0x02, 4,
                     // download, upload and detach; 1000 ms detach time-out
                     9, 0x21, 0x0B, 0xE8, 0x03, static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                     static_cast<uint8_t>(version), static_cast<uint8_t>(version >> 8)};
  b.strings = {{4, dtString, 0x09, 0x04},
               stringDescriptor("Wrenfield Devices"),
               stringDescriptor("Synthetic Boot Loader"),
               stringDescriptor("BL-000006"),
               stringDescriptor(dfuse ? "@Internal Flash  /0x08000000/02*002Kg" : "Flash")};
  return b;
}

std::unique_ptr<Tscenario> makeDfuScenario(uint64_t) { return std::make_unique<TdfuScenario>(false); }
std::unique_ptr<Tscenario> makeDfuseScenario(uint64_t) { return std::make_unique<TdfuScenario>(true); }

}  // namespace synth
