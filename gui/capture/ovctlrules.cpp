#include "capture/ovctlrules.h"

#include <unistd.h>

#include <algorithm>
#include <limits>

#include "decode/ovexthrd.h"
#include "hardware/ovlothrd.h"
#include "ovstatustext.h"

uint32_t wxstr2num(const wxString& text) {
  constexpr uint32_t most = std::numeric_limits<uint32_t>::max();
  uint32_t n = 0;
  for (wxUniChar c : text) {
    if (c < '0' || c > '9') continue;
    const uint32_t digit = static_cast<uint32_t>(c.GetValue() - '0');
    n = n > (most - digit) / 10 ? most : n * 10 + digit;
  }
  return n;
}

wxString num2str(uint64_t n) { return wxString(groupedDigits(n, '_')); }

int progressPercent(uint64_t part, uint64_t whole) {
  if (part == 0 || whole == 0) return 0;
  if (part >= whole) return 100;
  const float share = static_cast<float>(static_cast<double>(part) / static_cast<double>(whole));
  return static_cast<int>(share * 100 + 0.5f);
}

uint32_t largestDecodableKB() {
  // Beyond it the decode would end in the kernel's out-of-memory killer, not in a message.
  const uint64_t memory = uint64_t(sysconf(_SC_PHYS_PAGES)) * uint64_t(sysconf(_SC_PAGESIZE));
  const uint64_t kb = memory / TexThread::worstHeapPerRawByte / 1024;
  return static_cast<uint32_t>(std::min<uint64_t>(kb, std::numeric_limits<uint32_t>::max()));
}

uint32_t largestBufferKB(uint32_t bufferLimit) {
  const auto captureKB = static_cast<uint32_t>(TloThread::largestCaptureForThisMachine() / 1024);
  return std::max<uint32_t>(std::min({bufferLimit, captureKB, largestDecodableKB()}), smallestBufferKB);
}

wxString hardwareStatusText(int32_t status) {
  switch (status) {
    case TloThread::statusReady:
      return "Hardware Initialized OK";
    case TloThread::statusNotFound:
      return "Sniffer hardware not found";
    case TloThread::statusInitFailed:
      return "Hardware initialization failed";
    case TloThread::statusNoPermission:
      return wxString("No permission to open the sniffer:\ninstall the udev rule ") + TloThread::accessRule;
    case TloThread::statusNoMemory:
      return "Memory allocation failed";
    default:
      return "Unexpected Problem during initialization.";
  }
}

TbuttonStates buttonStates(int32_t state) {
  TbuttonStates b;
  b.apply = state != ctlInit;
  const bool idle = state == ctlReady || state == ctlDecoded;
  b.startLabel = state == ctlAcquiring || state == ctlDecoding ? "Stop" : "Start";
  b.start = idle || state == ctlAcquiring;
  b.field = idle || state == ctlNoHardware;
  b.connect = b.disconnect = idle;
  b.okOn = state == ctlAcquiring || state == ctlDecoding || state == ctlDecoded;
  return b;
}
