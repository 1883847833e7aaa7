#include "files/ovpcapread.h"

#include <cstring>
#include <limits>

#include "decode/ovutils.h"
#include "files/ovpcapformat.h"

namespace {

using namespace pcapfmt;

struct TformatError {
  size_t offset;
  std::string text;
};

struct Trecord {
  uint64_t ns;
  size_t offset;  // of the packet bytes in the file
  uint32_t length;
};

constexpr uint64_t nsPerDay = 86400ull * 1000000000;

uint32_t swap32(uint32_t v) { return __builtin_bswap32(v); }

// Walks the file's bytes; every read is bounds-checked first, so a length
// field can never make it read or allocate past the end.
class Tparser {
 public:
  Tparser(const std::vector<uint8_t>& file, std::vector<std::string>& notes) : file(file), notes(notes) {}

  std::vector<Trecord> records;

  void parse() {
    need(0, 4, "file shorter than a magic");
    const uint32_t magic = raw32(0);
    if (magic == ngSectionHeader)
      parseNg();
    else
      parsePcap(magic);
  }

 private:
  void need(size_t offset, size_t n, const char* what) const {
    if (offset > file.size() || n > file.size() - offset)
      throw TformatError{offset, std::string(what) + " runs past the end of the file (" +
                                     std::to_string(file.size() - std::min(offset, file.size())) +
                                     " bytes left, " + std::to_string(n) + " needed)"};
  }
  uint32_t raw32(size_t offset) const {
    uint32_t v;
    std::memcpy(&v, file.data() + offset, 4);
    return v;
  }
  uint32_t u32(size_t offset) const { return swapped ? swap32(raw32(offset)) : raw32(offset); }
  uint16_t u16(size_t offset) const {
    uint16_t v;
    std::memcpy(&v, file.data() + offset, 2);
    return swapped ? __builtin_bswap16(v) : v;
  }

  // Accepts the link types of USB packets that a full-speed decoder can take.
  void checkLinkType(uint32_t type, size_t offset) {
    if (type == linkUsb20 || type == linkUsbFull) return;
    if (type == linkUsbLow) {
      if (notes.empty() || notes.back().find("low-speed") == std::string::npos)
        notes.push_back("low-speed capture (link type 293): its packets are decoded as full-speed ones");
      return;
    }
    if (type == linkUsbHigh)
      throw TformatError{offset,
                         "link type 295 is a high-speed USB capture; only full and low speed can be "
                         "decoded"};
    throw TformatError{offset, "link type " + std::to_string(type) +
                                   " holds no USB packets from PID to CRC (usbmon and other URB captures "
                                   "record host transfers, not bus packets); link types 288, 293 and 294 "
                                   "can be read"};
  }

  void parsePcap(uint32_t magic) {
    if (magic == swap32(magicMicro) || magic == swap32(magicNano)) {
      swapped = true;
      magic = swap32(magic);
    }
    if (magic != magicMicro && magic != magicNano)
      throw TformatError{0, "not a pcap or pcapng file (wrong magic)"};
    const uint64_t fractionNs = magic == magicNano ? 1 : 1000;
    need(0, 24, "file header");
    checkLinkType(u32(20) & 0xFFFF, 20);  // the upper half carries FCS information
    for (size_t at = 24; at < file.size();) {
      need(at, 16, "record header");
      const uint32_t length = u32(at + 8);
      need(at + 16, length, "record");
      const uint64_t ns = uint64_t{u32(at)} * 1000000000 + uint64_t{u32(at + 4)} * fractionNs;
      records.push_back({ns, at + 16, length});
      at += 16 + size_t{length};
    }
  }

  struct Tinterface {
    uint32_t tsResol = 6;  // if_tsresol: a power of ten, or of two with the top bit set
  };

  // Bytes a block needs for its fixed fields, both lengths included.
  static uint32_t fieldBytes(uint32_t type) {
    switch (type) {
      case ngSectionHeader:
        return 28;
      case ngInterface:
        return 20;
      case ngEnhancedPacket:
        return 32;
      case ngSimplePacket:
        return 16;
      default:
        return 12;
    }
  }

  void parseNg() {
    std::vector<Tinterface> interfaces;
    for (size_t at = 0; at < file.size();) {
      need(at, 12, "block header");
      uint32_t type = raw32(at);
      if (type == ngSectionHeader) {
        const uint32_t order = raw32(at + 8);
        if (order != ngByteOrder && order != swap32(ngByteOrder))
          throw TformatError{at + 8, "section header with an unknown byte-order mark"};
        swapped = order != ngByteOrder;
      } else if (swapped) {
        type = swap32(type);
      }
      const uint32_t length = u32(at + 4);
      if (length < 12 || length % 4 != 0)
        throw TformatError{
            at + 4, "block length " + std::to_string(length) + " is not a multiple of 4 of at least 12"};
      need(at, length, "block");
      if (u32(at + length - 4) != length) throw TformatError{at + length - 4, "block's two lengths differ"};
      // From here on every field read lies inside the block.
      if (length < fieldBytes(type))
        throw TformatError{at, "block of " + std::to_string(length) + " bytes is shorter than its fields"};
      if (type == ngSectionHeader) {
        if (u16(at + 12) != 1)
          throw TformatError{at + 12, "pcapng major version " + std::to_string(u16(at + 12))};
        interfaces.clear();
      } else if (type == ngInterface) {
        checkLinkType(u16(at + 8), at + 8);
        interfaces.push_back({tsResolution(at + 16, at + length - 4)});
      } else if (type == ngEnhancedPacket) {
        const uint32_t id = u32(at + 8);
        if (id >= interfaces.size())
          throw TformatError{at + 8,
                             "packet of interface " + std::to_string(id) + ", which is not described"};
        const uint32_t captured = u32(at + 20);
        if (uint64_t{captured} + 32 > length)
          throw TformatError{at + 20, "packet length " + std::to_string(captured) + " runs past its block"};
        const uint64_t units = uint64_t{u32(at + 12)} << 32 | u32(at + 16);
        records.push_back({toNs(units, interfaces[id].tsResol), at + 28, captured});
      } else if (type == ngSimplePacket) {
        if (interfaces.empty()) throw TformatError{at, "simple packet before any interface description"};
        const uint32_t captured = std::min(u32(at + 8), length - 16);
        // Simple packets carry no time: they follow the packet before them.
        records.push_back({records.empty() ? 0 : records.back().ns, at + 12, captured});
      }
      at += length;
    }
  }

  // The if_tsresol option among the options between from and to, else 6.
  uint32_t tsResolution(size_t from, size_t to) const {
    while (from + 4 <= to) {
      const uint16_t code = u16(from);
      const uint16_t length = u16(from + 2);
      if (code == ngOptEnd) break;
      if (from + 4 + length > to) throw TformatError{from + 2, "option runs past its block"};
      if (code == ngOptTsResol && length >= 1) return file[from + 4];
      from += 4 + ((length + 3u) & ~3u);
    }
    return 6;
  }

  static uint64_t toNs(uint64_t units, uint32_t resolution) {
    const unsigned __int128 u = units;
    if (resolution & 0x80) return static_cast<uint64_t>(u * 1000000000 >> (resolution & 0x7F));
    unsigned __int128 scale = 1;
    for (uint32_t i = 0; i < 9 && i < resolution; ++i) scale *= 10;
    unsigned __int128 ns = u * 1000000000 / scale;
    for (uint32_t i = 9; i < resolution && i < 40; ++i) ns /= 10;
    return static_cast<uint64_t>(ns);
  }

  const std::vector<uint8_t>& file;
  std::vector<std::string>& notes;
  bool swapped = false;
};

void putLe32(std::vector<uint8_t>& out, uint64_t v) {
  const auto clamped = static_cast<uint32_t>(std::min<uint64_t>(v, std::numeric_limits<uint32_t>::max()));
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(clamped >> (8 * i)));
}

}  // namespace

bool TpcapReader::isPcap(const uint8_t* head, size_t n) {
  if (n < 4) return false;
  uint32_t magic;
  std::memcpy(&magic, head, 4);
  for (uint32_t m : {magicMicro, magicNano, ngSectionHeader})
    if (magic == m || magic == swap32(m)) return true;
  return false;
}

bool TpcapReader::read(Tinput& input, Tcapture& capture) {
  error.clear();
  notes.clear();
  std::vector<uint8_t> file;
  if (!input.readAll(file, std::numeric_limits<uint64_t>::max())) {
    error = input.name() + ": " + input.error();
    return false;
  }
  return parse(file, input.name(), capture);
}

bool TpcapReader::parse(const std::vector<uint8_t>& file, const std::string& name, Tcapture& capture) {
  error.clear();
  notes.clear();
  Tparser parser(file, notes);
  try {
    parser.parse();
  } catch (const TformatError& e) {
    error = name + ": byte " + std::to_string(e.offset) + ": " + e.text;
    return false;
  }
  const std::vector<Trecord>& records = parser.records;
  size_t empty = 0, backwards = 0;
  // Files that count from the epoch's first day count from a capture start,
  // as ours do, and keep their times; others count from their first packet.
  const uint64_t first = records.empty() ? 0 : records.front().ns;
  const uint64_t start = first < nsPerDay ? 0 : first;
  uint64_t last = 0;
  // The files hold no line states, so the idle J after each packet is the
  // time to the next packet minus this one's sync, bits, stuffing and SE0:
  // a packet is appended once the next one's time is known.
  TeventBin pending;
  bool hasPending = false;
  const auto appendPending = [&](uint64_t next) {
    const uint64_t end = pending.time + wireTicks(pending.bytes.data(), pending.bytes.size());
    putLe32(pending.bytes, next > end ? next - end : 0);
    capture.appendEvent(std::move(pending));
  };
  for (const Trecord& r : records) {
    if (r.length == 0) {
      ++empty;
      continue;
    }
    uint64_t time = r.ns < start ? 0 : nsToTicks(r.ns - start);
    if (time < last) {  // the tree expects bus order
      ++backwards;
      time = last;
    }
    last = time;
    if (hasPending) appendPending(time);
    pending = TeventBin();
    hasPending = true;
    pending.kind = srcKindPacket;
    pending.time = time;
    const uint8_t pidByte = file[r.offset];
    if (((~pidByte >> 4) ^ pidByte) & 0x0F) pending.flags |= flagPidCheck;
    if (!utils::pidIsFsLegal(pidByte & 15)) pending.flags |= flagPidIllegal;
    pending.bytes.assign(file.begin() + r.offset, file.begin() + r.offset + r.length);
  }
  if (hasPending) appendPending(0);
  if (empty) notes.push_back(std::to_string(empty) + " empty records skipped");
  if (backwards)
    notes.push_back(std::to_string(backwards) +
                    " packets earlier than the one before them kept in file order");
  return true;
}
