// The devices pane's entries: what each shows, the rows selecting it filters
// to, the counts beside it, and the entry a filter from the menu selects.
#include <gtest/gtest.h>

#include "ovdevicerows.h"

namespace {

TusbEndpoint endpoint(int address, int type, const char* name, int maxPacket, bool used) {
  TusbEndpoint e;
  e.address = address;
  e.type = type;
  e.typeName = name;
  e.maxPacket = maxPacket;
  e.used = used;
  return e;
}

// Address 7 used before and after a reset: a mouse, then a device nothing was learned of.
std::vector<TusbDevice> devices() {
  TusbDevice mouse;
  mouse.address = 7;
  mouse.resetsBefore = 1;
  mouse.vendor = 0x1209;
  mouse.product = 0x7A57;
  mouse.productName = "Mouse";
  mouse.manufacturer = "Wren";
  mouse.usbClass = {0, 0, 0, "defined by the interfaces"};
  mouse.configuration = 1;
  mouse.configured = true;
  mouse.endpoints = {endpoint(0, 0, "control", 8, true), endpoint(0x82, -1, "", -1, true)};
  TusbInterface hid;
  hid.usbClass = {3, 1, 2, "HID"};
  hid.name = "Pointer";
  hid.endpoints = {endpoint(0x81, 3, "interrupt", 4, true)};
  mouse.interfaces = {hid};
  TusbDevice later;
  later.address = 7;
  later.resetsBefore = 2;
  later.endpoints = {endpoint(0, 0, "control", -1, true)};
  return {mouse, later};
}

TcaptureStats stats() {
  TcaptureStats s;
  s.traffic.ack = 100;
  TdeviceStats mouse;
  mouse.key = {7, 1};
  mouse.traffic.ack = 60;
  mouse.traffic.nak = 2;
  mouse.traffic.bytesIn = 1000;
  mouse.traffic.bytesOut = 234;
  mouse.endpoints.resize(2);
  mouse.endpoints[0].endpoint = 0;
  mouse.endpoints[0].traffic.ack = 12;
  mouse.endpoints[1].endpoint = 1;
  mouse.endpoints[1].traffic.ack = 50;
  mouse.endpoints[1].traffic.errors[0] = 3;
  TdeviceStats later;
  later.key = {7, 2};
  later.traffic.ack = 5;
  s.devices = {mouse, later};
  return s;
}

int rowWithText(const std::vector<TdeviceRow>& rows, const std::string& text) {
  for (std::size_t i = 0; i < rows.size(); ++i)
    if (rows[i].text == text) return static_cast<int>(i);
  ADD_FAILURE() << "no entry " << text;
  return 0;
}

TrowFilter device(int address, int endpoint = -1) {
  TrowFilter f;
  f.address = address;
  f.endpoint = endpoint;
  return f;
}

}  // namespace

TEST(DeviceRows, EntriesFiltersAndCounts) {
  const std::vector<TdeviceRow> rows = deviceRows(devices(), stats());
  std::vector<std::string> texts;
  for (const TdeviceRow& r : rows) texts.push_back(std::to_string(r.depth) + " " + r.text);
  const std::vector<std::string> want{"0 Capture: 2 devices",
                                      "1 Device 7 after reset 1: Mouse, 1209:7A57",
                                      "2 Manufacturer: Wren",
                                      "2 Product: Mouse",
                                      "2 Class 0x00 (defined by the interfaces)",
                                      "2 Configuration 1, set",
                                      "2 Endpoint 0: control, 8 bytes",
                                      "2 Endpoint 2 IN: no descriptor",
                                      "2 Interface 0: class 0x03 (HID) \"Pointer\"",
                                      "3 Endpoint 1 IN: interrupt, 4 bytes",
                                      "1 Device 7 after reset 2",
                                      "2 Endpoint 0: control"};
  EXPECT_EQ(texts, want);

  // Counts: the capture's, each device's own, and an endpoint's by its number.
  using Tcounts = std::vector<std::string>;
  EXPECT_EQ(rows[0].counts, (Tcounts{"100", "0", "0"}));
  EXPECT_EQ(rows[1].counts, (Tcounts{"62", "1,234", "0"}));
  EXPECT_EQ(rows[rowWithText(rows, "Endpoint 1 IN: interrupt, 4 bytes")].counts, (Tcounts{"50", "0", "3"}));
  EXPECT_EQ(rows[rowWithText(rows, "Endpoint 0: control, 8 bytes")].counts, (Tcounts{"12", "0", "0"}));
  EXPECT_EQ(rows[rowWithText(rows, "Device 7 after reset 2")].counts, (Tcounts{"5", "0", "0"}));
  EXPECT_TRUE(rows[rowWithText(rows, "Product: Mouse")].counts.empty());

  // Filters: the capture shows every device, a device and what it holds its address, an endpoint its number.
  EXPECT_FALSE(rows[0].filter.byDevice());
  EXPECT_TRUE(rows[rowWithText(rows, "Endpoint 2 IN: no descriptor")].filter.sameDevice(device(7, 2)));
  EXPECT_TRUE(rows[rowWithText(rows, "Configuration 1, set")].filter.sameDevice(device(7)));
  EXPECT_EQ(rows[rowWithText(rows, "Device 7 after reset 2")].device, 1);

  // A filter from the menu: the entry shown stays when it shows that device, else its first entry.
  const int later = rowWithText(rows, "Device 7 after reset 2");
  const int interrupt = rowWithText(rows, "Endpoint 1 IN: interrupt, 4 bytes");
  EXPECT_EQ(rowOfFilter(rows, device(7), later), later);
  EXPECT_EQ(rowOfFilter(rows, device(7), -1), 1);
  EXPECT_EQ(rowOfFilter(rows, device(7, 1), 1), interrupt);
  EXPECT_EQ(rowOfFilter(rows, device(7, 0), interrupt), rowWithText(rows, "Endpoint 0: control, 8 bytes"));
  EXPECT_EQ(rowOfFilter(rows, TrowFilter{}, interrupt), 0);
  EXPECT_EQ(rowOfFilter(rows, device(9), 1), -1);
}
