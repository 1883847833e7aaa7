// Captures that start after a device's enumeration: its descriptors from
// outside the capture in their order, and what the traffic alone proves.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "files/ovlsusb.h"
#include "support/testfiles.h"
#include "synth/classdevices.h"
#include "synthrows.h"

namespace {

using namespace synth;

std::vector<TlistedDevice> listed(const std::string& name) {
  std::vector<std::string> notes;
  return parseLsusb(readFile(TWR_TEST_DATA_DIR "/lsusb/" + name), notes);
}

size_t countWith(const Tdecoded& d, const std::string& needle) {
  const auto texts = d.ofType(otTransax);
  return static_cast<size_t>(
      std::count_if(texts.begin(), texts.end(), [&](const std::string& t) { return has(t, needle); }));
}

}  // namespace

// The mouse of the "hid" scenario, at address 7, captured after its enumeration.
TEST(ScriptsWithoutEnumeration, DescriptorsFromOutsideInTheirOrder) {
  const auto late = scenarioRows("hid-late", 0.2);
  EXPECT_EQ(decodeAll(late).find(otTransax, "THID input report"), "");

  // A capture with the enumeration gives its set to remember.
  const auto full = scenarioRows("hid", 0.2);
  TluaState lua(full, std::filesystem::path(TWR_SOURCE_DIR) / "scripts");
  std::vector<TdeviceDescriptors> sets = lua.capturedDevices();
  ASSERT_EQ(sets.size(), 1u);
  const TdeviceBlobs mouse = hidMouseBlobs();
  EXPECT_EQ(sets[0].device, mouse.device);
  EXPECT_EQ(sets[0].configuration, mouse.configuration);
  EXPECT_EQ(sets[0].reports.at(0), mouse.hidReport);
  sets[0].source = "the remembered set";

  // lsusb without root lacks the report descriptor; the ids it gives find the
  // remembered set, which has it.
  TexternalDevices external;
  for (TlistedDevice& device : listed("synthesized.txt")) {
    device.descriptors.source = "the listed text";
    external.listed[device.address] = device.descriptors;
  }
  external.remembered[static_cast<uint32_t>(sets[0].ids())] = sets[0];
  std::string t = decodeAll(late, external).find(otTransax, "THID input report");
  EXPECT_TRUE(
      has(t, "Device 7 is not enumerated in the capture: its descriptors come from the remembered set."))
      << t;

  // A hint comes first: descriptors given for the address, or a class.
  TdeviceHint given;
  given.descriptors = std::make_shared<TdeviceDescriptors>(listed("mouse-root.txt").at(0).descriptors);
  given.descriptors->source = "the given set";
  external.hints[7] = given;
  t = decodeAll(late, external).find(otTransax, "THID input report");
  EXPECT_TRUE(has(t, "its descriptors come from the given set.")) << t;
  TdeviceHint cdc;
  cdc.deviceClass = 0x02;
  cdc.source = "the hint 7:cdc";
  external.hints[7] = cdc;
  const Tdecoded hinted = decodeAll(late, external);
  EXPECT_EQ(hinted.find(otTransax, "THID input report"), "");
  EXPECT_NE(hinted.find(otTransax, {"serial data", "its class comes from the hint 7:cdc."}), "");

  // The capture's own enumeration comes before all of them.
  const Tdecoded own = decodeAll(full, external);
  EXPECT_NE(own.find(otTransax, "THID input report"), "");
  EXPECT_EQ(countWith(own, "is not enumerated"), 0u);
}

TEST(ScriptsWithoutEnumeration, InferredFromWhatTheTrafficProves) {
  const Tdecoded storage = decodeAll(scenarioRows("storage-late", 0.3));
  EXPECT_NE(storage.find(otTransax, {"CSW tag",
                                     "Device 11 is not enumerated in the capture: inferred from its "
                                     "traffic, the 31-byte OUT in row"}),
            "");

  // A serial port's notification and data: bytes until a SET_LINE_CODING shows a CDC port.
  Ttraffic traffic;
  const Tbytes serialState{0xA1, 0x20, 0, 0, 0, 0, 2, 0, 0x03, 0};
  traffic.host.in(4, 3, pidData0, serialState);
  traffic.host.out(4, 2, pidData0, {'A', 'T', '\r'});
  traffic.host.controlWrite(4, 64, {0x21, 0x20, 0, 0, 0, 0, 7, 0}, lineCoding115200());
  traffic.host.in(4, 3, pidData1, serialState);
  traffic.host.out(4, 2, pidData1, {'A', 'T', '\r'});
  const Tdecoded d = decodeAll(traffic.rows());
  EXPECT_EQ(countWith(d, "(CDC SERIAL_STATE)"), 1u);
  EXPECT_EQ(countWith(d, "(serial data \"AT\\r\")"), 1u);
  EXPECT_NE(d.find(otTransax, "inferred from its traffic, the SET_LINE_CODING to interface 0 in row"), "");
}
