#include "device/simconfig.h"

namespace {

struct TfaultName {
  TsimFault fault;
  const char* name;
  const char* help;
};

const TfaultName faultNames[] = {
    {TsimFault::neverReenumerate, "never-reenumerate",
     "the FX2 leaves the bus after the firmware download for good"},
    {TsimFault::wrongFpgaId, "wrong-fpga-id", "the FPGA reports another part's identity code"},
    {TsimFault::fpgaBusyForever, "fpga-busy", "the FPGA configuration port stays busy"},
    {TsimFault::eepromReadFailure, "eeprom-read", "reads of the EEPROM fail"},
    {TsimFault::streamStall, "stream-stall",
     "the stream delivers nothing for a while after it starts (--stall-ms)"},
    {TsimFault::garbageStream, "garbage-stream", "the stream carries random bytes"},
    {TsimFault::wrongMagic, "wrong-magic", "the stream starts with a wrong header"},
    {TsimFault::accessDenied, "access-denied",
     "opening the device is refused, as without the udev rule (COMMAND runs without root's override)"},
};

}  // namespace

namespace simfaults {

const char* name(TsimFault fault) {
  for (const auto& entry : faultNames)
    if (entry.fault == fault) return entry.name;
  return "?";
}

const char* describe(TsimFault fault) {
  for (const auto& entry : faultNames)
    if (entry.fault == fault) return entry.help;
  return "";
}

bool fromName(const std::string& text, TsimFault& fault) {
  for (const auto& entry : faultNames) {
    if (text == entry.name) {
      fault = entry.fault;
      return true;
    }
  }
  return false;
}

std::vector<TsimFault> all() {
  std::vector<TsimFault> out;
  for (const auto& entry : faultNames) out.push_back(entry.fault);
  return out;
}

}  // namespace simfaults
