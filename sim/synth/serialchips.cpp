#include <algorithm>
#include <initializer_list>
#include <random>
#include <string>

#include "synth/classdevices.h"
#include "synth/enumeration.h"
#include "synth/requests.h"

namespace synth {

namespace {

constexpr uint8_t chipAddress = 5;
constexpr uint32_t chipBaud = 115200;
constexpr uint8_t ftdiModemStatus = 0x31, ftdiLineStatus = 0x60;  // CTS and DSR; transmitter empty

struct Tcontrol {
  Tbytes setup;
  Tbytes data;  // sent, or returned for a request to the host
};

// What makes one chip: descriptors, the requests a terminal program's open
// makes, its endpoints and whether IN packets start with FTDI's status bytes.
struct TchipTraits {
  TdeviceBlobs blobs;
  std::vector<Tcontrol> open;
  unsigned inEndpoint, outEndpoint, packet;
  bool statusBytes = false;
};

Tbytes vendorOut(uint8_t request, uint16_t value, uint16_t index) {
  return setupRequest(0x40, request, value, index, 0);
}

// FTDI AN232B-05: 3 MHz divided by an integer plus eighths; bits 14-16 code the eighths.
uint16_t ftdiDivisor(uint32_t baud) {
  static const uint8_t eighthsCode[8] = {0, 3, 2, 4, 1, 5, 6, 7};
  const uint32_t eighths = (3000000 * 8 + baud / 2) / baud;
  return static_cast<uint16_t>((eighths / 8) | eighthsCode[eighths % 8] << 14);
}

Tbytes le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

Tbytes vendorConfiguration(uint8_t subclass, uint8_t protocol, std::initializer_list<Tbytes> endpoints) {
  Tbytes c{9,           dtConfiguration,
           0,           0,
           1,           1,
           0,           0x80,
           50,          9,
           dtInterface, 0,
           0,           static_cast<uint8_t>(endpoints.size()),
           0xFF,        subclass,
           protocol,    0};
  for (const Tbytes& e : endpoints) c.insert(c.end(), e.begin(), e.end());
  c[2] = static_cast<uint8_t>(c.size());
  return c;
}

Tbytes endpoint(uint8_t address, uint8_t attributes, uint8_t size, uint8_t interval = 0) {
  return {7, dtEndpoint, address, attributes, size, 0, interval};
}

TdeviceBlobs chipBlobs(uint16_t vendor, uint16_t product, uint8_t maxPacket0, Tbytes configuration,
                       const char* maker, const char* name) {
  TdeviceBlobs b;
  b.device = {18,
              dtDevice,
              0x00,
              0x02,
              0,
              0,
              0,
              maxPacket0,
              static_cast<uint8_t>(vendor),
              static_cast<uint8_t>(vendor >> 8),
              static_cast<uint8_t>(product),
              static_cast<uint8_t>(product >> 8),
              0x00,
              0x06,
              1,
              2,
              3,
              1};
  b.configuration = std::move(configuration);
  b.strings = {
      {4, dtString, 0x09, 0x04}, stringDescriptor(maker), stringDescriptor(name), stringDescriptor("WR0115")};
  return b;
}

TchipTraits ftdiTraits() {
  TchipTraits s;
  s.blobs = ftdiBlobs();
  s.open = {{vendorOut(0x00, 0, 0), {}},      {vendorOut(0x03, ftdiDivisor(chipBaud), 0), {}},
            {vendorOut(0x04, 0x0008, 0), {}},  // 8 data bits, no parity, 1 stop bit
            {vendorOut(0x02, 0, 0), {}},       // no flow control
            {vendorOut(0x01, 0x0303, 0), {}},  // DTR and RTS on
            {vendorOut(0x09, 16, 0), {}}};     // latency timer 16 ms
  s.inEndpoint = 1;
  s.outEndpoint = 2;
  s.packet = 64;
  s.statusBytes = true;
  return s;
}

TchipTraits cp210xTraits() {
  TchipTraits s;
  s.blobs = cp210xBlobs();
  s.open = {{setupRequest(0x41, 0x00, 1, 0, 0), {}},
            {setupRequest(0x41, 0x1E, 0, 0, 4), le32(chipBaud)},
            {setupRequest(0x41, 0x03, 0x0800, 0, 0), {}},  // 8 data bits, no parity, 1 stop bit
            {setupRequest(0x41, 0x07, 0x0303, 0, 0), {}}};
  s.inEndpoint = 1;
  s.outEndpoint = 1;
  s.packet = 64;
  return s;
}

TchipTraits ch341Traits() {
  TchipTraits s;
  s.blobs = ch341Blobs();
  // 12 MHz / 104: prescaler 3 with the doubled clock (and bit 7 set), divisor register 256 - 104.
  s.open = {{setupRequest(0xC0, 0x5F, 0, 0, 2), {0x30, 0x00}},
            {vendorOut(0xA1, 0, 0), {}},
            {vendorOut(0x9A, 0x1312, (256 - 104) << 8 | 0x87), {}},
            {vendorOut(0x9A, 0x2518, 0x00C3), {}},  // 8N1, receiver and transmitter on
            {vendorOut(0xA4, 0xFF9F, 0), {}}};      // DTR and RTS on: active low
  s.inEndpoint = 2;
  s.outEndpoint = 2;
  s.packet = 32;
  return s;
}

TchipTraits pl2303Traits() {
  TchipTraits s;
  s.blobs = pl2303Blobs();
  s.open = {{setupRequest(0xC0, 0x01, 0x8484, 0, 1), {0x02}},
            {vendorOut(0x01, 0x0404, 0), {}},
            {setupRequest(0xC0, 0x01, 0x8484, 0, 1), {0x02}},
            {setupRequest(0x21, 0x20, 0, 0, 7), lineCoding115200()},
            {setupRequest(0x21, 0x22, 0x0003, 0, 0), {}}};
  s.inEndpoint = 3;
  s.outEndpoint = 2;
  s.packet = 64;
  return s;
}

// Opens the port, prints serialChipText() in packets of random length, once
// with a retry (the host's ACK lost), and takes "help\r" from the host, once
// NAKed first.
class TserialChipScenario : public Tscenario {
 public:
  TserialChipScenario(uint64_t seed, TchipTraits chip) : rng_(seed), chip_(std::move(chip)) {}

  void start(TusbHost& host) override {
    attachDevice(host.bus());
    enumerate(host, chip_.blobs, chipAddress);
    for (const Tcontrol& c : chip_.open) {
      pauseFrames(host, 0, 1);
      if (c.setup[0] & 0x80)
        host.controlRead(chipAddress, chip_.blobs.maxPacket0(), c.setup, c.data);
      else
        host.controlWrite(chipAddress, chip_.blobs.maxPacket0(), c.setup, c.data);
    }
  }

  void step(TusbHost& host) override {
    TbusWriter& bus = host.bus();
    bus.idleUntil(bus.nextSofTime() + 1);
    bus.idle(host.draw(30, 200));
    const unsigned frame = frames_++;
    if (frame == 7) {
      const std::string typed = "help\r";
      const Tbytes payload(typed.begin(), typed.end());
      host.out(chipAddress, chip_.outEndpoint, pidData0, payload, Treply::nak);
      host.out(chipAddress, chip_.outEndpoint, pidData0, payload);
    }
    const std::string& text = serialChipText();
    const size_t room = chip_.packet - (chip_.statusBytes ? 2 : 0);
    const size_t n = std::min<size_t>(text.size() - printed_, 1 + rng_() % room);
    if (n == 0 && !chip_.statusBytes) {
      host.in(chipAddress, chip_.inEndpoint, 0, {}, Treply::nak);
      return;
    }
    Tbytes payload;
    if (chip_.statusBytes) payload = {ftdiModemStatus, ftdiLineStatus};
    payload.insert(payload.end(), text.begin() + static_cast<std::ptrdiff_t>(printed_),
                   text.begin() + static_cast<std::ptrdiff_t>(printed_ + n));
    printed_ += n;
    const unsigned pid = inOdd_ ? pidData1 : pidData0;
    inOdd_ = !inOdd_;
    host.in(chipAddress, chip_.inEndpoint, pid, payload);
    if (frame == 3) host.in(chipAddress, chip_.inEndpoint, pid, payload);
  }

 private:
  std::mt19937_64 rng_;
  TchipTraits chip_;
  unsigned frames_ = 0;
  size_t printed_ = 0;
  bool inOdd_ = false;
};

}  // namespace

const std::string& serialChipText() {
  static const std::string text =
      "Wrenfield boot loader 2.1 (115200 8N1)\r\n"
      "flash: 512 KiB, 128 pages; #0..#127 ok\r\n"
      "config; mode=run; id=WR0115\r\n"
      "starting application at 0x08004000...\r\n"
      "> ";
  return text;
}

TdeviceBlobs ftdiBlobs() {
  TdeviceBlobs b = chipBlobs(0x0403, 0x6001, 8,
                             vendorConfiguration(0xFF, 0xFF, {endpoint(0x81, 2, 64), endpoint(0x02, 2, 64)}),
                             "FTDI", "FT232R USB UART");
  b.configuration[7] = 0xA0;  // remote wakeup
  b.configuration[8] = 45;    // 90 mA
  return b;
}

TdeviceBlobs cp210xBlobs() {
  return chipBlobs(0x10C4, 0xEA60, 64,
                   vendorConfiguration(0, 0, {endpoint(0x81, 2, 64), endpoint(0x01, 2, 64)}), "Silicon Labs",
                   "CP2102 USB to UART Bridge Controller");
}

TdeviceBlobs ch341Blobs() {
  return chipBlobs(
      0x1A86, 0x7523, 8,
      vendorConfiguration(1, 2, {endpoint(0x82, 2, 32), endpoint(0x02, 2, 32), endpoint(0x81, 3, 8, 1)}),
      "QinHeng Electronics", "USB Serial");
}

TdeviceBlobs pl2303Blobs() {
  return chipBlobs(
      0x067B, 0x2303, 64,
      vendorConfiguration(0, 0, {endpoint(0x81, 3, 10, 1), endpoint(0x02, 2, 64), endpoint(0x83, 2, 64)}),
      "Prolific Technology Inc.", "USB-Serial Controller");
}

std::unique_ptr<Tscenario> makeSerialChipScenario(const std::string& chip, uint64_t seed) {
  if (chip == "ftdi") return std::make_unique<TserialChipScenario>(seed, ftdiTraits());
  if (chip == "cp210x") return std::make_unique<TserialChipScenario>(seed, cp210xTraits());
  if (chip == "ch341") return std::make_unique<TserialChipScenario>(seed, ch341Traits());
  if (chip == "pl2303") return std::make_unique<TserialChipScenario>(seed, pl2303Traits());
  return nullptr;
}

}  // namespace synth
