// The layout of one display row as a list of coloured boxes, and its one-line
// string form for clients without a display.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decode/ovbase.h"

class Ttransax;
class Ttransfer;

// Colours are 0x00BBGGRR, red in the low byte.
struct TdisplayBox {
  int32_t gap = 0;    // pixels left free before the box
  int32_t width = 0;  // character cells; negative: as wide as the longer text
  uint32_t kind = 1;  // 0 one line (text1 only), 1 two lines
  std::string text1;
  uint64_t textColour1 = 0xffffff;
  uint64_t fillColour1 = 0x800080;
  std::string text2;
  uint64_t textColour2 = 0xffffff;
  uint64_t fillColour2 = 0x800080;
  // False where text2 says again what a one-line summary says otherwise: the row's time, a
  // PID's code.
  bool summaryValue = true;
};

class Tboxes {
 public:
  std::vector<TdisplayBox> boxes;

  // The boxes of one row; valid until the next call on this object.
  std::vector<TdisplayBox>& getBoxes(const std::shared_ptr<Tbase>& obj);
  std::string getBoxesString(const std::shared_ptr<Tbase>& obj);

  // Nanoseconds with a space before every group of three digits ("1 000 ns");
  // raw: the plain number grouped the same way, no unit.
  static std::string tick2str(uint64_t ticks, bool raw);
  // "0xff" then red, green and blue as two hex digits each.
  static std::string hexRGB(uint64_t colour);

 private:
  void init(bool);
  // nested: a packet drawn inside its transaction's row; indent: the level of
  // a nested token's PID box.
  void genBoxes(const std::shared_ptr<Tbase>& obj, bool nested, int indent);

  void genSimpleBox(const char* label, uint64_t textColour, uint64_t fillColour, int value);
  void genSimpleVarBox(const char* label, uint64_t textColour, uint64_t fillColour, const char* text,
                       int width, int gap);
  void genLeftBox(uint64_t textColour, uint64_t fillColour, const std::string& text1,
                  const std::string& text2);
  void genLeftPacketBox(unsigned ordinal, uint64_t time);
  void genPidBox(int level, int pid);
  void genCrcBox(const char* name, const char* value, bool ok);
  void genCrc5Box(int crc, bool ok);
  void genCrc16Box(int crc, bool ok);
  void genAddrBox(int addr);
  void genEndpBox(int endp);
  void genFrameBox(int frame);
  void genIdleBox(unsigned idle);
  void genResetBox(uint64_t resetLen, uint64_t time);
  void genDataToggleBox(int pid, bool inSetup);
  void genDataBox(const std::string& text1, const std::string& text2);
  void genDataBox(const std::vector<uint8_t>& data);
  void genSofGroupBox(const std::string& text);
  void genWarning();
  // The eight boxes of a SETUP packet's fields; nothing unless it has 8 bytes.
  void genSetupBoxes(const Tdata& data);

  TdisplayBox& add(int gap, int width, uint32_t kind, std::string text1, uint64_t textColour1,
                   uint64_t fillColour1);
  void genTransaxBoxes(const Ttransax& trx);
  void genTransferBoxes(const Ttransfer& transfer);
  void genSofGroupBoxes(const TsofGroup& group);
};
