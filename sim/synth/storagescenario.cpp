#include <algorithm>
#include <random>
#include <string>

#include "synth/classdevices.h"
#include "synth/enumeration.h"
#include "synth/requests.h"

namespace synth {

namespace {

constexpr uint8_t storageAddress = 11;
constexpr unsigned inEndpoint = 1, outEndpoint = 2, bulkPacket = 64;
constexpr uint32_t blockSize = 512, blockCount = 0x3C000;  // 120 MiB

void put32le(Tbytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

Tbytes be32(uint32_t v) {
  return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
          static_cast<uint8_t>(v)};
}

Tbytes read10(uint32_t lba, uint16_t blocks) {
  Tbytes cdb{0x28, 0};
  for (uint8_t b : be32(lba)) cdb.push_back(b);
  cdb.insert(cdb.end(), {0, static_cast<uint8_t>(blocks >> 8), static_cast<uint8_t>(blocks), 0});
  return cdb;
}

class TstorageScenario : public Tscenario {
 public:
  explicit TstorageScenario(uint64_t seed) : rng_(seed), blobs_(massStorageBlobs()) {}

  void start(TusbHost& host) override {
    attachDevice(host.bus());
    enumerate(host, blobs_, storageAddress);
    pauseFrames(host, 1, 2);
    host.controlRead(storageAddress, blobs_.maxPacket0(), setupRequest(0xA1, 0xFE, 0, 0, 1), {0});
    pauseFrames(host, 0, 1);
    // What a host asks a new disk before mounting it.
    Tbytes inquiry{0x00, 0x80, 0x02, 0x02, 0x1F, 0, 0, 0};
    // Vendor 8, product 16 and revision 4 characters: 36 bytes in all, as its additional length says.
    for (char c : std::string("WRENFLD SyntheticFlash  1.00")) inquiry.push_back(static_cast<uint8_t>(c));
    command(host, {0x12, 0, 0, 0, 36, 0}, inquiry, 36);
    command(host, {0x00, 0, 0, 0, 0, 0}, {}, 0);
    Tbytes capacity = be32(blockCount - 1);
    for (uint8_t b : be32(blockSize)) capacity.push_back(b);
    command(host, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, capacity, 8);
    command(host, read10(0, 1), Tbytes(blockSize, 0xEB), blockSize);
  }

  void step(TusbHost& host) override {
    TbusWriter& bus = host.bus();
    bus.idleUntil(bus.nextSofTime() + 1);
    bus.idle(host.draw(30, 200));
    if (rng_() % 8 == 0)
      command(host, read10(static_cast<uint32_t>(rng_() % blockCount), 1), Tbytes(blockSize, 0x5A),
              blockSize);
  }

 private:
  // CBW out, the data in, CSW in.
  void command(TusbHost& host, const Tbytes& cdb, const Tbytes& data, uint32_t length) {
    const uint32_t tag = ++tag_;
    host.bulkOut(storageAddress, outEndpoint, bulkPacket, commandBlockWrapper(tag, length, true, 0, cdb));
    if (length > 0) host.bulkIn(storageAddress, inEndpoint, bulkPacket, data, rng_() % 3 == 0);
    host.bulkIn(
        storageAddress, inEndpoint, bulkPacket,
        commandStatusWrapper(tag, static_cast<uint32_t>(length - std::min<size_t>(length, data.size())), 0));
  }

  std::mt19937_64 rng_;
  TdeviceBlobs blobs_;
  uint32_t tag_ = 0x100;
};

}  // namespace

Tbytes commandBlockWrapper(uint32_t tag, uint32_t dataLength, bool dataIn, uint8_t lun, const Tbytes& cdb) {
  Tbytes b{'U', 'S', 'B', 'C'};
  put32le(b, tag);
  put32le(b, dataLength);
  b.push_back(dataIn ? 0x80 : 0x00);
  b.push_back(lun);
  b.push_back(static_cast<uint8_t>(cdb.size()));
  b.insert(b.end(), cdb.begin(), cdb.end());
  b.resize(31, 0);
  return b;
}

Tbytes commandStatusWrapper(uint32_t tag, uint32_t residue, uint8_t status) {
  Tbytes b{'U', 'S', 'B', 'S'};
  put32le(b, tag);
  put32le(b, residue);
  b.push_back(status);
  return b;
}

TdeviceBlobs massStorageBlobs() {
  TdeviceBlobs blobs;
  blobs.device = {18,   dtDevice, 0x00, 0x02, 0x00, 0x00, 0x00, 64, 0x09,
                  0x12, 0x5A,     0x7A, 0x00, 0x01, 1,    2,    3,  1};
  blobs.configuration = {
      9, dtConfiguration, 32,   0,    1,  1,    0,    0x80, 100,
      9, dtInterface,     0,    0,    2,  0x08, 0x06, 0x50, 0,  // mass storage, SCSI, bulk-only
      7, dtEndpoint,      0x81, 0x02, 64, 0,    0,              // bulk IN
      7, dtEndpoint,      0x02, 0x02, 64, 0,    0,              // bulk OUT
  };
  blobs.strings = {{4, dtString, 0x09, 0x04},
                   stringDescriptor("Wrenfield Devices"),
                   stringDescriptor("Synthetic Flash Drive"),
                   stringDescriptor("FD-004242")};
  return blobs;
}

std::unique_ptr<Tscenario> makeStorageScenario(uint64_t seed) {
  return std::make_unique<TstorageScenario>(seed);
}

}  // namespace synth
