// Settings of the simulated sniffer, shared by the test API and the launcher's options.
#pragma once

#include <set>
#include <string>
#include <vector>

enum class TsimFault {
  neverReenumerate,   // after a good firmware download the device leaves the bus for good
  wrongFpgaId,        // the FPGA reports an identity code other than the expected part
  fpgaBusyForever,    // the configuration port never leaves busy
  eepromReadFailure,  // reads of the EEPROM stall
  streamStall,        // the stream delivers nothing for stallMs after streaming starts
  garbageStream,      // the stream carries random bytes instead of line states
  wrongMagic,         // the stream starts with a wrong header
  accessDenied,       // the device node may not be opened, as without the udev rule
};

enum class TsimPace { realtime, fast };

struct TsimConfig {
  TsimPace pace = TsimPace::fast;
  std::string replayFile;  // raw capture streamed instead of the scenario when not empty
  std::string serial = "TWRSIM0001";
  std::set<TsimFault> faults;
  unsigned stallMs = 3000;  // length of the streamStall fault
  // A kernel driver holds interface 0 when the device appears, as usbtest does for a bare FX2.
  bool kernelDriverBound = false;
  unsigned leaveDelayMs = 300;    // CPU released -> device leaves the bus
  unsigned returnDelayMs = 1000;  // left the bus -> running firmware appears
  unsigned eraseBusyMs = 200;     // configuration port busy after an erase
  unsigned commandBusyMs = 20;    // ... after initAddr, done, disable and the feature bits
  unsigned refreshBusyMs = 4;     // ... while a refresh loads the image
  unsigned eepromWriteMs = 5;     // EEPROM write cycle: the part answers nothing meanwhile
  // The FPGA already holds a configuration (not the embedded one) when powered up.
  bool fpgaConfigured = true;

  bool has(TsimFault fault) const { return faults.count(fault) != 0; }

  // Short delays for tests: the device leaves and comes back within tens of milliseconds.
  // A host driving it needs pauses of 50 ms after a refresh and an EEPROM write.
  static TsimConfig quick() {
    TsimConfig config;
    config.leaveDelayMs = 20;
    config.returnDelayMs = 60;
    // Busy times stay long enough that a host which does not wait meets them even on a loaded machine.
    config.eraseBusyMs = 50;
    config.commandBusyMs = 30;
    config.refreshBusyMs = 40;
    config.eepromWriteMs = 40;
    config.stallMs = 300;
    return config;
  }
};

namespace simfaults {

// Command-line name of a fault ("never-reenumerate", ...).
const char* name(TsimFault fault);
// Fault of a name; false when unknown.
bool fromName(const std::string& name, TsimFault& fault);
// One line of help per fault.
const char* describe(TsimFault fault);
std::vector<TsimFault> all();

}  // namespace simfaults
