// The capture dialog's rules that need no display: number texts, progress,
// buffer sizes, status texts and which controls each state enables.
#pragma once

#include <wx/string.h>

#include <cstdint>

enum TctlState : int32_t {
  ctlInit = 0,        // just opened; no status shown yet
  ctlNoHardware = 1,  // the hardware is not ready
  ctlReady = 2,
  ctlAcquiring = 3,  // capturing; what arrives is decoded and shown as it comes
  ctlDecoding = 4,   // the capture has ended; its last bytes are being decoded
  ctlDecoded = 5,    // passes to ctlReady on the next tick
};

// The value of the digits in text, every other character ignored; saturates
// at the largest unsigned value instead of wrapping.
uint32_t wxstr2num(const wxString& text);
// Decimal digits with "_" between groups of three: 1234567 -> "1_234_567".
wxString num2str(uint64_t n);

// Rounded percentage of part in whole: 0 only for nothing, 100 only for all.
int progressPercent(uint64_t part, uint64_t whole);

// The largest buffer, in KBytes, whose decode fits in this machine's memory
// even in the worst case.
uint32_t largestDecodableKB();
// Smaller sizes are raised to it.
constexpr uint32_t smallestBufferKB = 4;
// The largest size the dialog accepts: the program's limit, the capture
// thread's largest on this machine and the largest decodable.
uint32_t largestBufferKB(uint32_t bufferLimit);

// The status line for a hardware status of the capture thread.
wxString hardwareStatusText(int32_t status);

struct TbuttonStates {
  bool apply = false;  // false: every control stays as it is
  const char* startLabel = "Start";
  bool start = false;
  bool field = false;
  bool connect = false;
  bool disconnect = false;
  // Enables OK, which takes the rows shown: from a capture's start on, for they are shown as
  // they come. Nothing disables it again, so that a capture can always be taken, whatever
  // the device does afterwards.
  bool okOn = false;
};

TbuttonStates buttonStates(int32_t state);
