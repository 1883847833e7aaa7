// Foreign and damaged pcap/pcapng files: what is read, and what is refused
// with the file name and the byte offset.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "cli/runtwr.h"
#include "files/ovpcapread.h"
#include "files/ovpcapwrite.h"
#include "interop.h"

namespace {

using Tbytes = std::vector<uint8_t>;

// Two packets (SOF, ACK) as our writer writes them.
Tbytes written(bool pcapng) {
  const std::string path = tempPath(pcapng ? "good.pcapng" : "good.pcap");
  TpcapWriter writer(path, {pcapfmt::linkUsbFull, pcapng});
  const uint8_t sof[] = {0xA5, 0xDE, 0xE8}, ack[] = {0xD2};
  writer.add(12, sof, 3);
  writer.add(120, ack, 1);
  EXPECT_TRUE(writer.close());
  const std::string text = readFile(path);
  return Tbytes(text.begin(), text.end());
}

void set32(Tbytes& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); }

// Big-endian writing, for files from machines of the other byte order.
struct TbigEndian {
  Tbytes bytes;
  void u32(uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(v >> shift));
  }
  void u16(uint16_t v) {
    bytes.push_back(static_cast<uint8_t>(v >> 8));
    bytes.push_back(static_cast<uint8_t>(v));
  }
  void raw(const Tbytes& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
};

// "time:bytes:idle " per packet.
std::string times(const Tcapture& events) {
  std::string text;
  for (size_t ix = 0; ix < events.eventCount(); ++ix) {
    const TeventView ev = events.event(ix);
    uint32_t idle;
    std::memcpy(&idle, ev.bytes + ev.size - 4, 4);
    text += std::to_string(ev.time) + ":" + std::to_string(ev.size - 4) + ":" + std::to_string(idle) + " ";
  }
  return text;
}

TEST(PcapRead, OtherByteOrdersResolutionsAndBlocks) {
  // Microsecond pcap, big-endian, from a wall clock: 2 us and 5 us into a second of 2023.
  TbigEndian pcap;
  pcap.u32(pcapfmt::magicMicro), pcap.u16(2), pcap.u16(4);
  for (uint32_t v : {0u, 0u, 65535u, pcapfmt::linkUsb20}) pcap.u32(v);
  for (uint32_t us : {2u, 5u}) {
    for (uint32_t v : {1700000000u, us, 1u, 1u}) pcap.u32(v);
    pcap.raw({0xD2});
  }
  // pcapng, big-endian, millisecond resolution: an unknown block, an enhanced
  // packet at 3 ms and a simple packet, which has no time of its own.
  TbigEndian ng;
  for (uint32_t v : {pcapfmt::ngSectionHeader, 28u, pcapfmt::ngByteOrder, 0x00010000u, ~0u, ~0u, 28u})
    ng.u32(v);
  for (uint32_t v : {pcapfmt::ngInterface, 32u}) ng.u32(v);
  ng.u16(294), ng.u16(0), ng.u32(0), ng.u16(pcapfmt::ngOptTsResol), ng.u16(1), ng.raw({3, 0, 0, 0}),
      ng.u32(0), ng.u32(32);
  for (uint32_t v : {0x0BADu, 12u, 12u}) ng.u32(v);
  for (uint32_t v : {pcapfmt::ngEnhancedPacket, 36u, 0u, 0u, 3u, 3u, 3u}) ng.u32(v);
  ng.raw({0xA5, 0xDE, 0xE8, 0}), ng.u32(36);
  for (uint32_t v : {pcapfmt::ngSimplePacket, 20u, 1u}) ng.u32(v);
  ng.raw({0x5A, 0, 0, 0}), ng.u32(20);

  const struct {
    const char* name;
    Tbytes file;
    std::string times;
  } cases[] = {
      // Counted from the first packet; idle 36 ticks less 18 on the wire.
      {"big-endian microsecond pcap", pcap.bytes, "0:1:18 36:1:0 "},
      // Counted from the epoch; a packet on the wire until the next starts has no idle time.
      {"big-endian pcapng", ng.bytes, "36000:3:0 36000:1:0 "},
      {"our pcap", written(false), "12:3:74 120:1:0 "},
      {"our pcapng", written(true), "12:3:74 120:1:0 "},
  };
  for (const auto& c : cases) {
    TpcapReader reader;
    Tcapture events;
    EXPECT_TRUE(TpcapReader::isPcap(c.file.data(), c.file.size())) << c.name;
    EXPECT_TRUE(reader.parse(c.file, c.name, events)) << reader.lastError();
    EXPECT_TRUE(reader.warnings().empty()) << c.name;
    EXPECT_EQ(times(events), c.times) << c.name;
  }
}

TEST(PcapRead, RefusesMalformedFilesNamingTheByte) {
  const Tbytes pcap = written(false);
  const Tbytes ng = written(true);
  const size_t ngPacket = 28 + 32;  // first enhanced packet block
  const struct {
    const char* name;
    bool pcapng;
    std::function<void(Tbytes&)> damage;
    std::string message;  // after "bad.file: "; empty when the file is read
  } cases[] = {
      {"wrong magic", false, [](Tbytes& b) { b[1] = 0; }, "byte 0: not a pcap or pcapng file (wrong magic)"},
      {"cut in a record header", false, [](Tbytes& b) { b.resize(24 + 8); },
       "byte 24: record header runs past"},
      {"absurd record length", false, [](Tbytes& b) { set32(b, 24 + 8, 0xFFFFFFF0); },
       "byte 40: record runs past"},
      {"usbmon link type", false, [](Tbytes& b) { set32(b, 20, 220); },
       "byte 20: link type 220 holds no USB packets"},
      {"high speed", false, [](Tbytes& b) { set32(b, 20, 295); }, "byte 20: link type 295 is a high-speed"},
      {"low speed", false, [](Tbytes& b) { set32(b, 20, 293); }, ""},
      {"block past the end", true, [&](Tbytes& b) { set32(b, ngPacket + 4, 0x7FFFFFF0); },
       "byte 60: block runs past"},
      {"block length not a multiple of 4", true, [&](Tbytes& b) { set32(b, ngPacket + 4, 34); },
       "byte 64: block length 34"},
      {"block lengths differ", true, [&](Tbytes& b) { set32(b, ngPacket + 4, 32); },
       "byte 88: block's two lengths"},
      {"packet past its block", true, [&](Tbytes& b) { set32(b, ngPacket + 20, 5); },
       "byte 80: packet length 5"},
      {"undescribed interface", true, [&](Tbytes& b) { set32(b, ngPacket + 8, 1); },
       "byte 68: packet of interface 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Tbytes file = c.pcapng ? ng : pcap;
    c.damage(file);
    TpcapReader reader;
    Tcapture events;
    const bool read = reader.parse(file, "bad.file", events);
    if (c.message.empty()) {
      EXPECT_TRUE(read) << reader.lastError();
      EXPECT_EQ(reader.warnings().size(), 1u);
      continue;
    }
    EXPECT_FALSE(read);
    EXPECT_EQ(reader.lastError().rfind("bad.file: " + c.message, 0), 0u) << reader.lastError();
  }
}

}  // namespace

// Blocks whose length leaves no room for their own fields: a check such as
// "captured > length - 32" wraps for them and reads far past the file.
TEST(PcapRead, BlocksShorterThanTheirFieldsAreRefused) {
  using namespace pcapfmt;
  const std::vector<uint32_t> section = {ngSectionHeader, 28, ngByteOrder, 1, ~0u, ~0u, 28};
  const std::vector<uint32_t> iface = {ngInterface, 20, linkUsbFull, 0, 20};
  const std::vector<uint32_t> ack = {ngEnhancedPacket, 36, 0, 0, 7, 1, 1, 0xD2, 36};
  const struct {
    const char* name;
    std::vector<std::vector<uint32_t>> blocks;
    std::string message;  // after "bad.file: "
  } cases[] = {
      {"packet block of 28 claiming 2 GB",
       {section, iface, {ngEnhancedPacket, 28, 0, 0, 7, 0x7FFFFFF0, 28}, ack},
       "byte 48: block of 28 bytes is shorter than its fields"},
      {"packet block of 28 claiming the next block",
       {section, iface, {ngEnhancedPacket, 28, 0, 0, 7, 40, 28}, ack},
       "byte 48: block of 28 bytes is shorter than its fields"},
      {"simple packet block of 12 at the end",
       {section, iface, ack, {ngSimplePacket, 12, 12}},
       "byte 84: block of 12 bytes is shorter than its fields"},
      {"interface block of 16",
       {section, {ngInterface, 16, linkUsbFull, 16}, ack},
       "byte 28: block of 16 bytes is shorter than its fields"},
      {"section header of 20",
       {{ngSectionHeader, 20, ngByteOrder, 1, 20}, iface, ack},
       "byte 0: block of 20 bytes is shorter than its fields"},
      {"option longer than its block",
       {section, {ngInterface, 28, linkUsbFull, 0, ngOptTsResol | 9u << 16, 3, 28}},
       "byte 46: option runs past its block"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Tbytes file;
    for (const auto& block : c.blocks)
      for (uint32_t word : block)
        file.insert(file.end(),
                    {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), uint8_t(word >> 24)});
    TpcapReader reader;
    Tcapture events;
    EXPECT_FALSE(reader.parse(file, "bad.file", events));
    EXPECT_EQ(reader.lastError(), "bad.file: " + c.message);
  }
}
