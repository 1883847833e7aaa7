// HID report descriptors of real devices, and reports decoded against the
// descriptor the host read from the interface.
#include <gtest/gtest.h>

#include "support/testfiles.h"
#include "synthrows.h"

namespace {

using namespace synth;

Tbytes readData(const std::string& name) {
  const std::string bytes = readFile(std::string(TWR_TEST_DATA_DIR) + "/hid/" + name);
  return Tbytes(bytes.begin(), bytes.end());
}

Tbytes getReportDescriptor(size_t length) {
  return {0x81, 6, 0, 0x22, 0, 0, static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)};
}

// A device at address 5 with one HID interface, endpoint 0x81 and the report
// descriptor `name`.
void enumerate(Ttraffic& traffic, const std::string& name) {
  const Tbytes config{9, 2, 25, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 1, 3, 0, 0, 0, 7, 5, 0x81, 3, 8, 0, 10};
  const Tbytes descriptor = readData(name);
  traffic.host.controlRead(5, 64, getDescriptor(2, 0, 0, 25), config);
  traffic.host.controlRead(5, 64, getReportDescriptor(descriptor.size()), descriptor);
}

// That device sends `report` on its interrupt endpoint.
std::string reportText(const std::string& name, const Tbytes& report) {
  Ttraffic traffic;
  enumerate(traffic, name);
  traffic.host.in(5, 1, pidData0, report);
  return decodeAll(traffic.rows()).find(otTransax, "IN transaction to 5.1");
}

}  // namespace

TEST(ScriptsOnHid, RealDescriptorsAndTheirReports) {
  // Main items (fields) counted independently from the item prefixes.
  const std::pair<const char*, int> files[] = {{"amp.bin", 5},        {"headset.bin", 6},    {"hub.bin", 2},
                                               {"keyboard-0.bin", 5}, {"keyboard-1.bin", 2}, {"kvm-0.bin", 6},
                                               {"kvm-1.bin", 5},      {"mouse.bin", 5},      {"ps5.bin", 27}};
  for (const auto& [name, fields] : files) {
    const Tbytes d = readData(name);
    ASSERT_FALSE(d.empty()) << name;
    const std::string t = readText(getReportDescriptor(d.size()), d);
    EXPECT_TRUE(has(t, "TReports (" + std::to_string(fields) + " fields)")) << name << ": " << t;
    EXPECT_FALSE(has(t, "Truncated")) << name;
    EXPECT_FALSE(has(t, "not closed")) << name;
  }
  // Report IDs: the amplifier has input 3, output 4 and input 5.
  const std::string amp = readText(getReportDescriptor(57), readData("amp.bin"));
  EXPECT_TRUE(has(amp, "output 4#1#304 bits")) << amp;

  // Reports decoded with the descriptor. Report ID 1: buttons, 12-bit X and Y, wheel, AC Pan.
  std::string t = reportText("mouse.bin", {1, 0x01, 0xFD, 0x5F, 0x00, 0xFF, 0x00});
  EXPECT_TRUE(has(t, "THID input report 1")) << t;
  EXPECT_TRUE(has(t, "Button 1#1\nButton 2#0")) << t;
  EXPECT_TRUE(has(t, "X#-3\nY#5\nWheel#-1\nAC Pan#0")) << t;
  // A keyboard: modifier bits, then an array of key codes.
  t = reportText("keyboard-0.bin", {0x02, 0, 0x04, 0x05, 0, 0, 0, 0});
  EXPECT_TRUE(has(t, "Left Control#0\nLeft Shift#1")) << t;
  EXPECT_TRUE(has(t, "Pressed#Keyboard A, Keyboard B")) << t;
  // The host sets the keyboard's LEDs with an output report.
  Ttraffic traffic;
  enumerate(traffic, "keyboard-0.bin");
  traffic.host.controlWrite(5, 64, {0x21, 0x09, 0x00, 0x02, 0, 0, 1, 0}, {0x02});
  t = decodeAll(traffic.rows()).find(otTransfer, "HID SET_REPORT");
  EXPECT_TRUE(has(t, "THID output report\nUsage#Value\nNum Lock#0\nCaps Lock#1")) << t;
  // Shorter than its layout: said, not guessed.
  t = reportText("keyboard-0.bin", {0x02, 0});
  EXPECT_TRUE(has(t, "shorter than its layout (64 bits)")) << t;
}

TEST(ScriptsOnHid, DeeplyNestedDescriptorHasABoundedText) {
  constexpr size_t depth = 1000;
  Tbytes d;
  for (size_t i = 0; i < depth; ++i) d.insert(d.end(), {0xA1, 0x01});
  d.insert(d.end(), depth, 0xC0);
  const std::string t = readText(getReportDescriptor(d.size()), d);
  EXPECT_TRUE(has(t, "Collections nest 1000 deep")) << t.substr(0, 2000);
  EXPECT_TRUE(has(t, "\n...#1000 more rows")) << t.substr(0, 2000);
  EXPECT_TRUE(has(t, "[depth 9] Collection")) << t.substr(0, 2000);
  // Unbounded, each item's indent grew with its depth: megabytes for this one transfer.
  EXPECT_LT(t.size(), 200000u);
}
