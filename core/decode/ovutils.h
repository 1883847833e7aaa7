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
uint32_t packetMinSize(int pid);
bool pidIsFsLegal(int pid);
const char* pidPrintCode(int pid);
uint64_t pidFG(int pid);
uint64_t pidBG(int pid);
bool pidIsLegal(int pid);
// Table names below 16; 16 "RESET" (the first byte of a reset event), 17 "ERROR", 18 "UNDEFINED".
std::string pidName(unsigned v);

std::string transactionTypeName(TtrxType t);
std::string L0eventTypeName(L0eventType t);
std::string L1groupTypeName(L1groupType t);

// Milliseconds of the steady clock.
uint64_t getTimeMillisecs();
// Duration text such as "83 ns", "1.500 mus", "2 ms".
std::string tickToFloatStr(unsigned long ticks, int ticksPerMicrosecond);

// Non-empty pieces of s between separators.
std::vector<std::string> split(const std::string& s, char sep);
void split(const std::string& s, char sep, std::vector<std::string>& out);

}  // namespace utils
