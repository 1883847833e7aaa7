// Reads the text "lsusb -v" prints back into descriptor bytes, so that a user
// can give the descriptors of a device whose enumeration a capture lacks.
#pragma once

#include <string>
#include <vector>

#include "files/ovdevicedescs.h"

struct TlistedDevice {
  int address = -1;  // "Device NNN" of its "Bus ... Device ...:" line, -1 without one
  TdeviceDescriptors descriptors;
};

// The devices of an "lsusb -v" text in order: the device descriptor, the first
// configuration set with the class descriptors lsusb prints field by field or
// as bytes, and HID report descriptors where lsusb could read them. notes says
// what could not be read back (lsusb shows some class descriptors only decoded).
std::vector<TlistedDevice> parseLsusb(const std::string& text, std::vector<std::string>& notes);
