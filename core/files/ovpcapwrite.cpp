#include "files/ovpcapwrite.h"

namespace {

constexpr uint32_t snapLength = 65535;

uint32_t padded4(size_t n) { return static_cast<uint32_t>((n + 3) & ~size_t{3}); }

}  // namespace

// Fields are written in the machine's byte order; both formats say which one
// through their magic, and readers swap as needed.
TpcapWriter::TpcapWriter(const std::string& path, Toptions opts) : options(opts) {
  if (!out.open(path)) return;
  if (!options.pcapng) {
    put32(pcapfmt::magicNano);
    put16(2);  // version 2.4
    put16(4);
    put32(0);  // this zone
    put32(0);  // accuracy
    put32(snapLength);
    put32(options.linkType);
    return;
  }
  const uint32_t sectionLength = 28;
  put32(pcapfmt::ngSectionHeader);
  put32(sectionLength);
  put32(pcapfmt::ngByteOrder);
  put16(1);  // version 1.0
  put16(0);
  put32(0xFFFFFFFF);  // section length unknown: low word
  put32(0xFFFFFFFF);  //  and high word
  put32(sectionLength);

  const uint32_t interfaceLength = 20 + 8 + 4;  // head, if_tsresol, end of options
  put32(pcapfmt::ngInterface);
  put32(interfaceLength);
  put16(static_cast<uint16_t>(options.linkType));
  put16(0);
  put32(snapLength);
  put16(pcapfmt::ngOptTsResol);
  put16(1);
  const uint8_t nanoseconds[4] = {9, 0, 0, 0};
  put(nanoseconds, 4);
  put16(pcapfmt::ngOptEnd);
  put16(0);
  put32(interfaceLength);
}

void TpcapWriter::add(uint64_t time, const uint8_t* bytes, size_t n) {
  if (!ok()) return;
  const uint64_t ns = pcapfmt::ticksToNs(time);
  const auto length = static_cast<uint32_t>(n);
  if (!options.pcapng) {
    put32(static_cast<uint32_t>(ns / 1000000000));
    put32(static_cast<uint32_t>(ns % 1000000000));
    put32(length);
    put32(length);
    put(bytes, n);
    return;
  }
  const uint32_t blockLength = 32 + padded4(n);
  put32(pcapfmt::ngEnhancedPacket);
  put32(blockLength);
  put32(0);  // interface
  put32(static_cast<uint32_t>(ns >> 32));
  put32(static_cast<uint32_t>(ns));
  put32(length);
  put32(length);
  put(bytes, n);
  const uint8_t zeros[3] = {};
  put(zeros, padded4(n) - n);
  put32(blockLength);
}
