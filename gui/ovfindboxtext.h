// The texts of a row's boxes as a search reads them: each box's first and
// second line, each followed by a space, in the order the boxes are drawn.
// A search reads millions of rows, so the common rows' texts are written
// straight into one buffer, without making the boxes; the rare rows
// (control transfers, SETUP transactions) are read from the boxes.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "boxes/ovboxes.h"

class TboxTexts {
 public:
  TboxTexts();
  // Appends the texts of obj's row (with its children, as the row holds them).
  void append(const TobjPtr& obj, std::string& out);

 private:
  void appendBoxes(const TobjPtr& obj, std::string& out);
  // Through the boxes themselves: out ends where the texts written so far end.
  void putFromBoxes(const TobjPtr& obj, std::string& out);
  // A packet's own boxes; nested: drawn inside its transaction's row.
  void putPacket(const Tbase& packet, bool nested);
  void putPid(uint32_t pid);
  void putLeftPacket(const Tbase& packet);
  void putTicks(uint64_t ticks);
  template <class T>
  void putDecimal(T value);
  void putHex(uint32_t value, int minDigits);
  void putData(const Tdata& d);
  void putIdle(uint32_t idle);
  void putCrcAndIdle(std::string_view name, uint32_t crc, int digits, uint32_t idle);
  void put(std::string_view text) { p += text.copy(p, text.size()); }
  void put(char c) { *p++ = c; }

  Tboxes boxes;
  std::array<std::string, 19> pidTexts;  // name and code, by PID; the names end at 18
  char* p = nullptr;                     // where the next text goes
};
