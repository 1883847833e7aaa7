#include "ovfindboxtext.h"

#include <algorithm>
#include <charconv>

#include "decode/ovgroup.h"
#include "decode/ovutils.h"
#include "decode/ovvisit.h"

namespace {

// Room for the texts of one packet's boxes, the longest of each kind added up.
constexpr std::size_t packetRoom = 256;

}  // namespace

TboxTexts::TboxTexts() {
  for (std::size_t pid = 0; pid < pidTexts.size(); ++pid) {
    const unsigned v = static_cast<unsigned>(pid);
    pidTexts[pid] = utils::pidName(v) + ' ' + utils::pidPrintCode(static_cast<int>(v)) + ' ';
  }
}

// As std::to_string of the same type.
template <class T>
void TboxTexts::putDecimal(T value) {
  p = std::to_chars(p, p + 24, value).ptr;
}

// As the boxes write a hex value: "0x", then lower-case digits, at least minDigits of them.
void TboxTexts::putHex(uint32_t value, int minDigits) {
  char digits[8];
  const char* end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
  put("0x");
  for (long pad = minDigits - (end - digits); pad > 0; --pad) put('0');
  put(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

// As Tboxes::tick2str(ticks, false): nanoseconds grouped by three with spaces.
void TboxTexts::putTicks(uint64_t ticks) {
  const unsigned __int128 ns = static_cast<unsigned __int128>(ticks) * 1000 / ticksPerMicrosecond;
  if (ns >> 64) return put(Tboxes::tick2str(ticks, false));
  char digits[20];
  const auto count = static_cast<std::size_t>(
      std::to_chars(digits, digits + sizeof digits, static_cast<uint64_t>(ns)).ptr - digits);
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 0 && (count - i) % 3 == 0) put(' ');
    put(digits[i]);
  }
  put(" ns");
}

void TboxTexts::putPid(uint32_t pid) {
  if (pid < pidTexts.size()) return put(pidTexts[pid]);
  // Every PID from here on has the same name; its code is that of its low bits.
  put(utils::pidName(pid));
  put(' ');
  put(utils::pidPrintCode(static_cast<int>(pid)));
  put(' ');
}

void TboxTexts::putLeftPacket(const Tbase& packet) {
  put("Packet ");
  putDecimal(static_cast<unsigned>(packet.ordinal));
  put(' ');
  putTicks(packet.time);
  put(' ');
}

void TboxTexts::putIdle(uint32_t idle) {
  put("Idle ");
  putDecimal(idle);
  put(' ');
}

// name: with its space.
void TboxTexts::putCrcAndIdle(std::string_view name, uint32_t crc, int digits, uint32_t idle) {
  put(name);
  putHex(crc, digits);
  put(' ');
  putIdle(idle);
}

void TboxTexts::putData(const Tdata& d) {
  put("T ");
  put(d.pid == pidData2 ? '2' : d.pid == pidData1 ? '1' : '0');
  put(" DATA");
  if (!d.data.empty()) {
    put(" (");
    putDecimal(d.data.size());
    put(" bytes)");
  }
  put(' ');
  static const char digits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < d.data.size() && i < 8; ++i) {
    put(digits[d.data[i] >> 4]);
    put(digits[d.data[i] & 15]);
    put(i == 3 ? "  " : " ");
  }
  if (d.data.size() > 8) put("  ...");
  put(' ');
}

void TboxTexts::putPacket(const Tbase& packet, bool nested) {
  visit(packet, Toverload{[&](const Ttoken& t) {
                            if (!nested) putLeftPacket(t);
                            putPid(t.pid);
                            put("ADDR ");
                            putDecimal(static_cast<int>(t.addr));
                            put(" ENDP ");
                            putDecimal(static_cast<int>(t.endp));
                            put(' ');
                            if (nested) return;
                            putCrcAndIdle("CRC5 ", t.crc5, 2, t.idle);
                          },
                          [&](const Tdata& d) {
                            if (!nested) putLeftPacket(d);
                            putPid(d.pid);
                            putData(d);
                            if (nested) return;
                            putCrcAndIdle("CRC16 ", d.crc16, 4, d.idle);
                          },
                          [&](const Thandshake& h) {
                            if (!nested) putLeftPacket(h);
                            putPid(h.pid);
                            if (!nested) putIdle(h.idle);
                          },
                          [&](const Tbase&) { put("Warning - Unimplemented  "); }});
}

void TboxTexts::append(const TobjPtr& obj, std::string& out) {
  if (!obj) return;
  const auto* grouper = obj->objType >= otSofGroup ? static_cast<const Tgrouper*>(obj.get()) : nullptr;
  const std::size_t start = out.size();
  out.resize(start + packetRoom * (1 + (grouper ? grouper->children.size() : 0)));
  p = out.data() + start;
  appendBoxes(obj, out);
  out.resize(static_cast<std::size_t>(p - out.data()));
}

void TboxTexts::putFromBoxes(const TobjPtr& obj, std::string& out) {
  out.resize(static_cast<std::size_t>(p - out.data()));
  for (const TdisplayBox& box : boxes.getBoxes(obj)) {
    out += box.text1;
    out += ' ';
    out += box.text2;
    out += ' ';
  }
  p = out.data() + out.size();
}

void TboxTexts::appendBoxes(const TobjPtr& obj, std::string& out) {
  visit(*obj, Toverload{[&](const Treset& r) {
                          put("Reset for ");
                          putTicks(r.resetLen);
                          put(' ');
                          putTicks(r.time);
                          put(' ');
                          putIdle(r.idle);
                        },
                        [&](const Tsof& s) {
                          putLeftPacket(s);
                          putPid(pidSof);
                          put("Frame ");
                          putDecimal(static_cast<int>(s.frame));
                          put(' ');
                          putCrcAndIdle("CRC5 ", s.crc5, 2, s.idle);
                        },
                        [&](const TpacketBase& packet) { putPacket(packet, false); },
                        [&](const TsofGroup& g) {
                          const auto ordinalOf = [&](const TobjPtr& child) {
                            if (child && child->objType == otSof) putDecimal(child->ordinal);
                          };
                          put("Packets ");
                          if (!g.children.empty()) {
                            ordinalOf(g.children.front());
                            put(" .. ");
                            ordinalOf(g.children.back());
                          }
                          put(' ');
                          putDecimal(g.children.size());
                          put(" SOFs  ");
                        },
                        [&](const Ttransax& t) {
                          if (t.trxType != TtrxType::SETUP) {
                            put("Transaction ");
                            putDecimal(t.ordinal);
                            put(' ');
                            for (const TobjPtr& child : t.children) {
                              if (child)
                                putPacket(*child, true);
                              else
                                put("Warning - Unimplemented  ");
                            }
                            return;
                          }
                          putFromBoxes(obj, out);
                        },
                        [&](const Tgrouper&) { putFromBoxes(obj, out); }});
}
