#include "synth/enumeration.h"

#include "synth/requests.h"

namespace synth {

void attachDevice(TbusWriter& bus) {
  bus.setSofs(false);
  bus.reset(2 * ticksPerMs);
  bus.idle(5 * ticksPerMs);
  bus.reset(10 * ticksPerMs);
  bus.setSofs(true);
  bus.idle(3 * ticksPerFrame);
}

void pauseFrames(TusbHost& host, unsigned minFrames, unsigned maxFrames) {
  host.bus().idle(uint64_t{ticksPerFrame} * host.draw(minFrames, maxFrames));
}

void enumerate(TusbHost& host, const TdeviceBlobs& blobs, uint8_t address) {
  const unsigned mps = blobs.maxPacket0();
  host.controlRead(0, mps, getDescriptor(dtDevice, 0, 0, 8), blobs.device);
  pauseFrames(host, 1, 2);
  host.bus().reset(10 * ticksPerMs);
  pauseFrames(host, 2, 3);
  host.controlWrite(0, mps, setAddress(address), {});
  pauseFrames(host, 2, 3);  // the device settles on its new address

  host.controlRead(address, mps, getDescriptor(dtDevice, 0, 0, 18), blobs.device);
  pauseFrames(host, 0, 1);
  host.controlRead(address, mps, getDescriptor(dtConfiguration, 0, 0, 9), blobs.configuration);
  pauseFrames(host, 0, 1);
  const uint16_t total = static_cast<uint16_t>(blobs.configuration[2] | blobs.configuration[3] << 8);
  host.controlRead(address, mps, getDescriptor(dtConfiguration, 0, 0, total), blobs.configuration);
  for (size_t i = 0; i < blobs.strings.size(); ++i) {
    pauseFrames(host, 0, 1);
    const uint16_t lang = i == 0 ? 0 : langEnglishUs;
    host.controlRead(address, mps, getDescriptor(dtString, static_cast<uint8_t>(i), lang, 255),
                     blobs.strings[i]);
  }
  pauseFrames(host, 1, 2);
  host.controlWrite(address, mps, setConfiguration(1), {});
  host.resetToggles();
}

}  // namespace synth
