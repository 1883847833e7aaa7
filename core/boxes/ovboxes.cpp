#include "boxes/ovboxes.h"

#include <algorithm>
#include <utility>

#include "decode/ovgroup.h"
#include "decode/ovutils.h"
#include "decode/ovvisit.h"

namespace {

constexpr uint64_t white = 0xffffff;
constexpr uint64_t black = 0x000000;
constexpr uint64_t purple = 0x800080;
constexpr uint64_t lightGreen = 0x90ee90;
constexpr uint64_t azure = 0xfffff0;
constexpr uint64_t green = 0x008000;
constexpr uint64_t dimGrey = 0x696969;
constexpr uint64_t lightBlue = 0xe6d8ad;
constexpr uint64_t lightSlateGrey = 0x998877;
constexpr uint64_t red = 0x0000ff;
constexpr uint64_t lightSteelBlue = 0xdec4b0;
constexpr uint64_t pink = 0xcbc0ff;
constexpr uint64_t mediumAquamarine = 0xaacd66;
constexpr uint64_t yellow = 0x00ffff;

// Names of the standard control requests, by bRequest.
const char* const REQ_NAME[13] = {
    "Get Status",    "Clear Feature",  "Reserved",       "Set Feature", "Reserved",
    "Set Address",   "Get Descriptor", "Set Descriptor", "Get Config",  "Set Config",
    "Get Interface", "Set Interface",  "Sync Frame",
};

const char* requestName(unsigned bRequest) { return bRequest < 13 ? REQ_NAME[bRequest] : "Non-standard"; }

// Lower-case hex digits, at least minDigits of them; printf-style formatting
// costs more than the rest of a row's boxes together.
void appendHex(std::string& out, unsigned value, int minDigits) {
  static const char digits[] = "0123456789abcdef";
  int count = 1;
  while (count < 8 && (value >> (4 * count)) != 0) ++count;
  if (count < minDigits) count = minDigits;
  char text[8];
  for (int i = count - 1; i >= 0; --i, value >>= 4) text[i] = digits[value & 15];
  out.append(text, count);
}

std::string hexValue(unsigned value, int minDigits) {
  std::string text = "0x";
  appendHex(text, value, minDigits);
  return text;
}

void appendColour(std::string& out, uint64_t colour) {
  static const char digits[] = "0123456789abcdef";
  char text[10] = {'0', 'x', 'f', 'f'};
  for (int i = 0; i < 3; ++i, colour >>= 8) {
    text[4 + 2 * i] = digits[(colour >> 4) & 15];
    text[5 + 2 * i] = digits[colour & 15];
  }
  out.append(text, sizeof text);
}

void appendBoxHalf(std::string& out, uint64_t textColour, uint64_t fillColour, const std::string& text) {
  out += "|s";
  appendColour(out, textColour);
  out += ',';
  appendColour(out, fillColour);
  out += ',';
  out += text;
}

}  // namespace

void Tboxes::init(bool) { boxes.clear(); }

std::vector<TdisplayBox>& Tboxes::getBoxes(const std::shared_ptr<Tbase>& obj) {
  init(true);
  genBoxes(obj, false, 1);
  return boxes;
}

std::string Tboxes::getBoxesString(const std::shared_ptr<Tbase>& obj) {
  std::string out;
  for (const TdisplayBox& box : getBoxes(obj)) {
    if (box.kind == 0) {
      out += "g" + std::to_string(box.gap) + ",w" + std::to_string(box.width) + ",t1";
      appendBoxHalf(out, box.textColour1, box.fillColour1, box.text1);
    } else if (box.kind == 1) {
      const int width =
          box.width >= 0 ? box.width : -static_cast<int>(std::max(box.text1.size(), box.text2.size()));
      out += "g" + std::to_string(box.gap) + ",w" + std::to_string(width) + ",t2";
      appendBoxHalf(out, box.textColour1, box.fillColour1, box.text1);
      appendBoxHalf(out, box.textColour2, box.fillColour2, box.text2);
    }
    out += ';';
  }
  out += '\n';
  return out;
}

TdisplayBox& Tboxes::add(int gap, int width, uint32_t kind, std::string text1, uint64_t textColour1,
                         uint64_t fillColour1) {
  TdisplayBox& box = boxes.emplace_back();
  box.gap = gap;
  box.width = width;
  box.kind = kind;
  box.text1 = std::move(text1);
  box.textColour1 = textColour1;
  box.fillColour1 = fillColour1;
  // Value lines are black on white unless a generator says otherwise.
  box.textColour2 = black;
  box.fillColour2 = white;
  return box;
}

void Tboxes::genSimpleBox(const char* label, uint64_t textColour, uint64_t fillColour, int value) {
  add(0, 7, 1, label, textColour, fillColour).text2 = std::to_string(value);
}

void Tboxes::genSimpleVarBox(const char* label, uint64_t textColour, uint64_t fillColour, const char* text,
                             int width, int gap) {
  add(gap, width, 1, label, textColour, fillColour).text2 = text;
}

void Tboxes::genLeftBox(uint64_t textColour, uint64_t fillColour, const std::string& text1,
                        const std::string& text2) {
  TdisplayBox& box = add(0, 14, 1, text1, textColour, fillColour);
  box.text2 = text2;
  box.textColour2 = textColour;
  box.fillColour2 = fillColour;
}

void Tboxes::genLeftPacketBox(unsigned ordinal, uint64_t time) {
  genLeftBox(black, azure, "Packet " + std::to_string(ordinal), tick2str(time, false));
  boxes.back().summaryValue = false;
}

void Tboxes::genPidBox(int level, int pid) {
  TdisplayBox& box = add(16 * level + 10, 7, 1, utils::pidName(pid), utils::pidFG(pid), utils::pidBG(pid));
  box.text2 = utils::pidPrintCode(pid);
  box.summaryValue = false;
}

void Tboxes::genCrcBox(const char* name, const char* value, bool ok) {
  add(0, 7, 1, name, ok ? white : red, ok ? lightSlateGrey : white).text2 = value;
}

void Tboxes::genCrc5Box(int crc, bool ok) { genCrcBox("CRC5", hexValue(crc, 2).c_str(), ok); }
void Tboxes::genCrc16Box(int crc, bool ok) { genCrcBox("CRC16", hexValue(crc, 4).c_str(), ok); }
void Tboxes::genAddrBox(int addr) { genSimpleBox("ADDR", white, black, addr); }
void Tboxes::genEndpBox(int endp) { genSimpleBox("ENDP", black, lightGreen, endp); }
void Tboxes::genFrameBox(int frame) { genSimpleBox("Frame", white, purple, frame); }

void Tboxes::genIdleBox(unsigned idle) {
  add(10, 8, 1, "Idle", black, lightBlue).text2 = std::to_string(idle);
}

void Tboxes::genResetBox(uint64_t resetLen, uint64_t time) {
  TdisplayBox& box = add(0, 28, 1, "Reset for " + tick2str(resetLen, false), white, purple);
  box.text2 = tick2str(time, false);
  box.textColour2 = white;
  box.fillColour2 = purple;
  box.summaryValue = false;
}

void Tboxes::genDataToggleBox(int pid, bool inSetup) {
  add(inSetup ? 10 : 0, 2, 1, "T", white, purple).text2 = pid == pidData2 ? "2" : pid == pidData1 ? "1" : "0";
}

void Tboxes::genDataBox(const std::string& text1, const std::string& text2) {
  add(0, -1, 1, text1, white, red).text2 = text2;
}

void Tboxes::genDataBox(const std::vector<uint8_t>& data) {
  std::string label = "DATA";
  if (!data.empty()) label += " (" + std::to_string(data.size()) + " bytes)";
  std::string bytes;
  for (size_t i = 0; i < data.size() && i < 8; ++i) {
    appendHex(bytes, data[i], 2);
    bytes += ' ';
    if (i == 3) bytes += ' ';
  }
  if (data.size() > 8) bytes += "  ...";
  genDataBox(label, bytes);
}

void Tboxes::genSofGroupBox(const std::string& text) { add(10, 21, 0, text, white, dimGrey); }

void Tboxes::genWarning() { add(0, 35, 0, "Warning - Unimplemented", red, azure); }

void Tboxes::genSetupBoxes(const Tdata& data) {
  if (data.data.size() != 8) return;
  const uint8_t* s = data.data.data();
  const unsigned requestType = s[0];
  static const char* const types[] = {"S", "C", "V", "R"};
  static const char* const recipients[] = {"D", "I", "E", "O"};
  genDataToggleBox(data.pid, true);
  genSimpleVarBox("Dir", black, lightSteelBlue, requestType & 0x80 ? "DtoH" : "HtoD", 4, 0);
  genSimpleVarBox("Typ", black, pink, types[(requestType >> 5) & 3], 3, 0);
  genSimpleVarBox("R", black, lightGreen, requestType & 0x1c ? "?" : recipients[requestType & 3], 2, 0);
  genSimpleVarBox("bRequest", black, mediumAquamarine, std::to_string(s[1]).c_str(), -1, 0);
  genSimpleVarBox("wValue", black, yellow, hexValue(s[2] | s[3] << 8, 4).c_str(), -1, 0);
  genSimpleVarBox("wIndex", black, lightBlue, hexValue(s[4] | s[5] << 8, 4).c_str(), -1, 0);
  genSimpleVarBox("wLength", black, lightGreen, std::to_string(s[6] | s[7] << 8).c_str(), -1, 0);
}

void Tboxes::genSofGroupBoxes(const TsofGroup& group) {
  const auto& children = group.children;
  auto ordinalOf = [](const std::shared_ptr<Tbase>& child) {
    return child && child->objType == otSof ? std::to_string(child->ordinal) : std::string();
  };
  std::string range;
  if (!children.empty()) range = ordinalOf(children.front()) + " .. " + ordinalOf(children.back());
  genLeftBox(black, azure, "Packets", range);
  genSofGroupBox(std::to_string(children.size()) + " SOFs");
}

void Tboxes::genTransaxBoxes(const Ttransax& trx) {
  genLeftBox(black, lightGreen, "Transaction", std::to_string(trx.ordinal));
  for (const auto& child : trx.children) {
    if (!child) {
      genWarning();
      continue;
    }
    visit(*child, Toverload{[&](const Ttoken&) { genBoxes(child, true, trx.level); },
                            [&](const Tdata& data) {
                              if (trx.trxType == TtrxType::SETUP)
                                genSetupBoxes(data);
                              else
                                genBoxes(child, true, 1);
                            },
                            [&](const Thandshake&) { genBoxes(child, true, 1); },
                            [&](const Tbase&) { genWarning(); }});
  }
}

void Tboxes::genTransferBoxes(const Ttransfer& transfer) {
  genLeftBox(white, green, "Control Transfer", std::to_string(transfer.ordinal));
  const auto setup = transfer.findSetupTransax();
  const auto token = setup ? setup->findTokenPkt() : nullptr;
  const auto data = setup ? setup->findDataPkt() : nullptr;
  if (!token || !data || data->data.size() != 8) return;
  genSimpleVarBox("bRequest", black, mediumAquamarine, requestName(data->data[1]), -1, 10);
  genAddrBox(token->addr);
  genEndpBox(token->endp);
  const TcontrolStages stages = transfer.readStages();
  genDataBox(stages.data);
  genSimpleVarBox("Success", black, yellow, stages.complete ? "OK" : "Fail", -1, 0);
}

void Tboxes::genBoxes(const std::shared_ptr<Tbase>& obj, bool nested, int indent) {
  if (!obj) return;
  visit(*obj, Toverload{[&](const Treset& r) {
                          genResetBox(r.resetLen, r.time);
                          genIdleBox(r.idle);
                        },
                        [&](const Tsof& s) {
                          genLeftPacketBox(s.ordinal, s.time);
                          genPidBox(s.level, pidSof);
                          genFrameBox(s.frame);
                          genCrc5Box(s.crc5, s.crcOK);
                          genIdleBox(s.idle);
                        },
                        [&](const Ttoken& t) {
                          if (!nested) genLeftPacketBox(t.ordinal, t.time);
                          genPidBox(nested ? indent : t.level, t.pid);
                          genAddrBox(t.addr);
                          genEndpBox(t.endp);
                          if (nested) return;
                          genCrc5Box(t.crc5, t.crcOK);
                          genIdleBox(t.idle);
                        },
                        [&](const Tdata& d) {
                          if (!nested) genLeftPacketBox(d.ordinal, d.time);
                          genPidBox(nested ? 0 : d.level, d.pid);
                          genDataToggleBox(d.pid, false);
                          genDataBox(d.data);
                          if (nested) return;
                          genCrc16Box(d.crc16, d.crcOK);
                          genIdleBox(d.idle);
                        },
                        [&](const Thandshake& h) {
                          if (nested) {
                            genPidBox(0, h.pid);
                            return;
                          }
                          genLeftPacketBox(h.ordinal, h.time);
                          genPidBox(h.level, h.pid);
                          genIdleBox(h.idle);
                        },
                        [&](const TsofGroup& g) { genSofGroupBoxes(g); },
                        [&](const Ttransax& t) { genTransaxBoxes(t); },
                        [&](const Ttransfer& t) { genTransferBoxes(t); }, [](const Tgrouper&) {}});
}

std::string Tboxes::tick2str(uint64_t ticks, bool raw) {
  // 128 bits: a time near the top of the 64-bit range still converts exactly.
  unsigned __int128 value = raw ? ticks : static_cast<unsigned __int128>(ticks) * 1000 / ticksPerMicrosecond;
  std::string digits;
  do {
    digits.push_back(static_cast<char>('0' + static_cast<int>(value % 10)));
    value /= 10;
  } while (value != 0);
  std::string text;
  for (size_t i = digits.size(); i-- > 0;) {
    text.push_back(digits[i]);
    if (i % 3 == 0 && i != 0) text.push_back(' ');
  }
  if (!raw) text += " ns";
  return text;
}

std::string Tboxes::hexRGB(uint64_t colour) {
  std::string text;
  appendColour(text, colour);
  return text;
}
