#include "files/ovpcapexport.h"

#include <algorithm>
#include <utility>

#include "decode/ovvisit.h"

namespace {

uint8_t pidByte(const TpacketBase& packet) {
  const uint32_t pid = packet.pid & 15;
  // The recorded check nibble is not kept; the PID itself is never its own complement.
  const uint32_t check = packet.flags & flagPidCheck ? pid : ~pid & 15;
  return static_cast<uint8_t>(check << 4 | pid);
}

void putField(std::vector<uint8_t>& out, uint32_t field) {
  out.push_back(static_cast<uint8_t>(field));
  out.push_back(static_cast<uint8_t>(field >> 8));
}

std::vector<uint8_t> packetBytes(const TpacketBase& packet) {
  std::vector<uint8_t> out{pidByte(packet)};
  visit(packet, Toverload{[&](const Tsof& sof) { putField(out, (sof.frame & 0x7FF) | sof.crc5 << 11); },
                          [&](const Ttoken& token) {
                            putField(out, (token.addr & 127) | (token.endp & 15) << 7 | token.crc5 << 11);
                          },
                          [&](const Tdata& data) {
                            // A data packet too short for a CRC kept neither payload nor CRC.
                            if ((data.flags & flagLength) && data.data.empty() && data.crc16 == 0) return;
                            out.insert(out.end(), data.data.begin(), data.data.end());
                            putField(out, data.crc16);
                          },
                          [](const Tbase&) {}});
  return out;
}

// The rows of packets and resets in bus order: rows list a transfer's
// transactions together although other traffic came between them.
std::vector<std::size_t> busOrder(const Tcapture& capture) {
  std::vector<std::pair<uint64_t, std::size_t>> timed;
  for (std::size_t ix = 0; ix < capture.rowCount(); ++ix) {
    const TrowSummary row = capture.rowSummary(ix);
    if (row.objType <= otHandshake) timed.emplace_back(row.time, ix);
  }
  std::stable_sort(timed.begin(), timed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::size_t> rows;
  rows.reserve(timed.size());
  for (const auto& entry : timed) rows.push_back(entry.second);
  return rows;
}

}  // namespace

bool exportPcap(const Tcapture& capture, const std::string& path, TpcapWriter::Toptions options,
                TexportCounts& counts, std::string& error) {
  counts = {};
  TpcapWriter writer(path, options);
  if (capture.eventCount() != 0) {
    for (std::size_t ix = 0; ix < capture.eventCount(); ++ix) {
      const TeventView ev = capture.event(ix);
      if (ev.kind == srcKindReset) ++counts.resets;
      // Packet bytes end with 4 bytes of idle time, which is not part of the packet.
      if (ev.kind != srcKindPacket || ev.size <= 4) continue;
      writer.add(ev.time, ev.bytes, ev.size - 4);
      ++counts.packets;
    }
  } else {
    TrowScan scan = capture.rowScan();
    for (const std::size_t ix : busOrder(capture)) {
      const TobjPtr obj = scan.row(ix);
      visit(*obj, Toverload{[&](const TpacketBase& packet) {
                              const std::vector<uint8_t> bytes = packetBytes(packet);
                              writer.add(packet.time, bytes.data(), bytes.size());
                              ++counts.packets;
                            },
                            [&](const Treset&) { ++counts.resets; }, [](const Tbase&) {}});
    }
  }
  if (!writer.close()) {
    error = writer.lastError();
    return false;
  }
  return true;
}
