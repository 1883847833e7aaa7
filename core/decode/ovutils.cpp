#include "decode/ovutils.h"

namespace {

constexpr uint64_t rgb(unsigned r, unsigned g, unsigned b) { return r | (g << 8) | (b << 16); }

}  // namespace

namespace utils {

using L0 = L0eventType;

const TpidInfo pidInfoTable[16] = {
    {L0::Reserved, 0, false, "RESERVED", "0xF0", rgb(255, 182, 193), rgb(0, 0, 0)},
    {L0::Token, 3, true, "OUT", "0xE1", rgb(129, 64, 255), rgb(255, 255, 255)},
    {L0::Handshake, 1, true, "ACK", "0xD2", rgb(255, 255, 0), rgb(0, 0, 0)},
    {L0::Data, 3, true, "DATA0", "0xC3", rgb(255, 158, 140), rgb(0, 0, 0)},
    {L0::Special, 3, false, "PING", "0xB4", rgb(255, 165, 0), rgb(255, 255, 255)},
    {L0::Sof, 3, true, "SOF", "0xA5", rgb(0, 128, 0), rgb(255, 255, 255)},
    {L0::Handshake, 1, false, "NYET", "0x96", rgb(0, 0, 255), rgb(255, 255, 255)},
    {L0::Data, 3, false, "DATA2", "0x87", rgb(75, 0, 130), rgb(255, 255, 255)},
    {L0::Special, 4, false, "SPLIT", "0x78", rgb(238, 130, 238), rgb(255, 255, 255)},
    {L0::Token, 3, true, "IN", "0x69", rgb(255, 255, 24), rgb(0, 0, 0)},
    {L0::Handshake, 1, true, "NAK", "0x5A", rgb(255, 192, 203), rgb(0, 0, 0)},
    {L0::Data, 3, true, "DATA1", "0x4B", rgb(144, 238, 144), rgb(0, 0, 0)},
    {L0::Special, 4, false, "ERR/PRE", "0x3C", rgb(253, 245, 230), rgb(0, 0, 0)},
    {L0::Token, 3, true, "SETUP", "0x2D", rgb(135, 206, 235), rgb(0, 0, 0)},
    {L0::Handshake, 1, true, "STALL", "0x1E", rgb(211, 211, 211), rgb(0, 0, 0)},
    {L0::Data, 3, false, "MDATA", "0x0F", rgb(0, 128, 128), rgb(0, 0, 0)},
};

L0eventType packetType(int pid) { return pidInfoTable[pid & 15].type; }
bool pidIsFsLegal(int pid) { return pidInfoTable[pid & 15].fsLegal; }
const char* pidPrintCode(int pid) { return pidInfoTable[pid & 15].printCode; }
uint64_t pidFG(int pid) { return pidInfoTable[pid & 15].foreground; }
uint64_t pidBG(int pid) { return pidInfoTable[pid & 15].background; }

std::string pidName(unsigned v) {
  if (v < 16) return pidInfoTable[v].name;
  switch (v) {
    case 16:
      return "RESET";
    case 17:
      return "ERROR";
    case 18:
      return "UNDEFINED";
    default:
      return "Unknown (X)PID Type";
  }
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> pieces;
  std::string::size_type begin = 0;
  while (begin <= s.size()) {
    std::string::size_type end = s.find(sep, begin);
    if (end == std::string::npos) end = s.size();
    if (end > begin) pieces.emplace_back(s, begin, end - begin);
    begin = end + 1;
  }
  return pieces;
}

}  // namespace utils
