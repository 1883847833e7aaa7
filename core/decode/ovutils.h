// Names, the PID table and small pure helpers shared by the whole core.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decode/ovbase.h"

namespace utils {

struct TpidInfo {
  L0eventType type;
  uint32_t minSize;  // bytes including the PID byte
  bool fsLegal;      // legal on a full-speed bus
  const char* name;
  const char* printCode;  // the whole PID byte with its check nibble
  uint64_t background;    // 0x00BBGGRR
  uint64_t foreground;    // 0x00BBGGRR
};

// Indexed by the 4-bit PID.
extern const TpidInfo pidInfoTable[16];

L0eventType packetType(int pid);
bool pidIsFsLegal(int pid);
const char* pidPrintCode(int pid);
uint64_t pidFG(int pid);
uint64_t pidBG(int pid);
// Table names below 16; 16 "RESET" (the first byte of a reset event), 17 "ERROR", 18 "UNDEFINED".
std::string pidName(unsigned v);

// Non-empty pieces of s between separators.
std::vector<std::string> split(const std::string& s, char sep);

}  // namespace utils
