// The devices of a capture: each address in each bus-reset interval it is
// used in (a reset lets the host give the address to another device), with
// what the decode scripts learned of it from its enumeration.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class Tcapture;
class TluaState;

struct TusbEndpoint {
  int address = 0;  // its number, with 0x80 for an IN endpoint but endpoint 0
  int type = -1;    // 0 control, 1 isochronous, 2 bulk, 3 interrupt; -1 unknown
  std::string typeName;
  int maxPacket = -1;
  bool used = false;  // tokens name it
};

// A device's or an interface's class: -1 and empty while unknown.
struct TusbClass {
  int code = -1, subclass = -1, protocol = -1;
  std::string name;
};

struct TusbInterface {
  int number = 0, alternate = 0;
  TusbClass usbClass;
  std::string name;
  std::vector<TusbEndpoint> endpoints;
};

struct TusbDevice {
  int address = 0;
  int resetsBefore = 0;                   // the bus resets before its rows: its reset interval
  std::size_t firstRow = 0, lastRow = 0;  // of its tokens

  // From its device descriptor: -1 and empty while unknown.
  int vendor = -1, product = -1;
  TusbClass usbClass;
  int maxPacket0 = -1;
  std::string manufacturer, productName, serial;

  // The configuration described, and whether the host chose it.
  int configuration = -1;
  bool configured = false;
  std::string configurationName;
  std::vector<TusbInterface> interfaces;
  // Endpoint 0, then endpoints the tokens name that no interface describes.
  std::vector<TusbEndpoint> endpoints;

  bool sameKey(int addr, int resets) const { return address == addr && resetsBefore == resets; }
};

// The devices in the order they are first used. Without scripts (lua null, or
// scripts that fail) the addresses, intervals and endpoints used only.
std::vector<TusbDevice> listDevices(const Tcapture& capture, TluaState* lua);
