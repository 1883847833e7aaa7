// Descriptors of devices from outside the capture, for captures that start
// after a device's enumeration: what the user says about an address, the
// text "lsusb -v" printed, and descriptors remembered from earlier captures.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct TdeviceDescriptors {
  std::string source;                           // where they come from, as decode texts name it
  std::vector<uint8_t> device;                  // the device descriptor, or empty
  std::vector<uint8_t> configuration;           // one whole configuration set, or empty
  std::map<int, std::vector<uint8_t>> reports;  // HID report descriptors by interface number

  // idVendor << 16 | idProduct, or -1 without a device descriptor.
  long long ids() const;
  bool operator==(const TdeviceDescriptors& other) const;
};

// What the user says about the device at one address: its class, its ids
// (which name remembered descriptors and serial chips), or its descriptors.
struct TdeviceHint {
  int deviceClass = -1, subclass = -1;
  int vendor = -1, product = -1;
  std::shared_ptr<TdeviceDescriptors> descriptors;
  std::string source;
};

// The scripts take a device's descriptors from these, in this order, when the
// capture holds none.
struct TexternalDevices {
  std::map<int, TdeviceHint> hints;                   // by address
  std::map<uint32_t, TdeviceDescriptors> remembered;  // by ids()
  std::map<int, TdeviceDescriptors> listed;           // "lsusb -v" texts, by the address they name
};

// Reads "ADDR:CLASS" (a class name or number, CLASS.SUBCLASS for both) or
// "ADDR:VVVV:PPPP" (vendor and product id in hex). False with error otherwise.
bool parseHint(const std::string& text, int& address, TdeviceHint& hint, std::string& error);
// The class names parseHint takes, for help texts.
std::string hintClassNames();
