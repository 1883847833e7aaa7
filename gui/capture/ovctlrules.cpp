#include "capture/ovctlrules.h"

#include <algorithm>
#include <limits>

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

namespace {

uint32_t largestWithoutRoomKB(uint32_t bufferLimit) {
  return std::min(bufferLimit, static_cast<uint32_t>(TloThread::largestCapture / 1024));
}

}  // namespace

uint32_t largestBufferKB(uint32_t bufferLimit, uint64_t freeBytes) {
  const auto roomKB = static_cast<uint32_t>(TloThread::largestCaptureFor(freeBytes) / 1024);
  return std::min(largestWithoutRoomKB(bufferLimit), roomKB);
}

wxString bufferTooLargeText(uint32_t bufferLimit, uint64_t freeBytes, const std::string& dir) {
  const uint32_t largestKB = largestBufferKB(bufferLimit, freeBytes);
  const wxString where = wxString::FromUTF8(dir);
  if (largestKB < smallestBufferKB)
    return "No room for a capture: " + where + " has " + num2str(freeBytes / 1024) + " KBytes free";
  if (largestKB < largestWithoutRoomKB(bufferLimit))
    return "Buffer Size too large: " + where + " has room for at most " + num2str(largestKB) + " KBytes";
  return "Buffer Size too large: at most " + num2str(largestKB) + " KBytes";
}

wxString captureEndText(uint64_t captured, const std::string& cutShort) {
  if (cutShort.empty()) return captured == 0 ? "Nothing was captured" : "";
  const wxString why = "No room left for the capture (" + wxString::FromUTF8(cutShort) + "): ";
  if (captured == 0) return why + "nothing was captured";
  return why + "it ended after " + num2str(captured) + " Bytes, all kept and decoded";
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
    case TloThread::statusNoRoom:
      return "No room left for the capture";
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
