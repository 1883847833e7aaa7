// The descriptors the window's decodes take from outside the capture: what
// the user said about addresses in this session, and the sets remembered from
// earlier captures. Hints are not kept past the session: the host gives a
// device a new address whenever it is plugged in again.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "files/ovdevicedescs.h"
#include "files/ovdevicestore.h"

class TsessionDevices {
 public:
  explicit TsessionDevices(TdeviceStore store = TdeviceStore());

  // Reads the remembered sets again: a capture read or kept since may have added some.
  void reloadRemembered();
  // what: a class name or number (CLASS.SUBCLASS), or the ids VVVV:PPPP. Empty on
  // success, else why it was not taken.
  std::string giveHint(int address, const std::string& what);
  // The text "lsusb -v" printed for the device, or for several devices one of which
  // it names as being at address; name: the file it came from. notes: what could not be
  // read back. Empty on success, else why it was not taken.
  std::string giveListing(int address, const std::string& text, const std::string& name,
                          std::vector<std::string>& notes);
  void forget(int address);
  // "ADDR: where its descriptors come from", an address a line.
  std::vector<std::string> hintLines() const;

  // A snapshot: what other threads hold stays as it was when the hints change.
  std::shared_ptr<const TexternalDevices> devices() const { return current; }

 private:
  void change(const std::function<void(TexternalDevices&)>& edit);

  TdeviceStore store;
  std::shared_ptr<const TexternalDevices> current;
};
