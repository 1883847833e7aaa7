// The capture dialog's rules that need no display: number texts, progress,
// buffer sizes, status texts and which controls each state enables.
#pragma once

#include <wx/string.h>

#include <cstdint>
#include <string>

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

// Smaller sizes are raised to it.
constexpr uint32_t smallestBufferKB = 4;
// The largest size the dialog accepts: the program's limit, the largest capture, and what
// freeBytes in the capture directory hold with the capture's decode (0 when they hold none).
uint32_t largestBufferKB(uint32_t bufferLimit, uint64_t freeBytes);
// Why a size above largestBufferKB is refused, naming the largest, or the room in dir when
// that is what limits it.
wxString bufferTooLargeText(uint32_t bufferLimit, uint64_t freeBytes, const std::string& dir);
// The status line when a capture ends with `captured` bytes: empty when it ran as asked and
// kept something. cutShort as the capture thread says it.
wxString captureEndText(uint64_t captured, const std::string& cutShort);

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
