// The decode scripts on synthesized devices, from raw capture bytes through
// the whole decode pipeline: key facts of each enumeration, valid markup and
// no script error on any row.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "synthrows.h"

namespace {

// `needles` all appear in one text of that type (a failure shows them in its expression).
bool oneTextHas(const Tdecoded& d, uint32_t type, std::initializer_list<std::string> needles) {
  return !d.find(type, needles).empty();
}

}  // namespace

TEST(ScriptsOnEnumeration, HidMouse) {
  const Tdecoded d = decodeAll(scenarioRows("hid", 0.25));
  // The first device descriptor read stops after 8 bytes, as hosts do.
  EXPECT_TRUE(oneTextHas(
      d, otTransfer, {"bMaxPacketSize0#8 bytes", "First 8 bytes of the DEVICE descriptor, as requested"}));
  EXPECT_TRUE(oneTextHas(d, otTransfer, {"SET_ADDRESS (device address 7)", "completed"}));
  // String indexes show the strings the host read later.
  EXPECT_TRUE(oneTextHas(d, otTransfer, {"idVendor#0x1209", "iProduct#2 (\"Synthetic Optical Mouse\")"}));
  EXPECT_TRUE(
      oneTextHas(d, otTransfer, {"HID report descriptor", "Usage: Mouse (0x02)", "Logical Minimum: -127"}));
  // A data packet of a data stage finds its transfer and so the request.
  EXPECT_TRUE(
      oneTextHas(d, otData, {"Data stage of GET_DESCRIPTOR (STRING descriptor, index 2)", "bString"}));
  EXPECT_TRUE(oneTextHas(d, otToken, {"SETUP (0x2D)", "Address#7", "(pass)"}));
  for (const auto& t : d.texts) EXPECT_EQ(t.find("FAIL"), std::string::npos) << t;
}

TEST(ScriptsOnEnumeration, CdcAcmSerialPort) {
  const Tdecoded d = decodeAll(scenarioRows("serial", 0.3));
  EXPECT_TRUE(oneTextHas(d, otTransfer,
                         {"TInterface association descriptor", "bFunctionClass#0x02 (Communications (CDC))",
                          "TCDC Union functional descriptor", "bSubordinateInterface0#1"}));
  EXPECT_TRUE(oneTextHas(d, otTransfer, {"CDC SET_LINE_CODING", "dwDTERate#115200 baud", "8N1"}));
  EXPECT_TRUE(oneTextHas(d, otTransfer, {"CDC SET_CONTROL_LINE_STATE (DTR on, RTS on)"}));
  // Bus data with separators in it: shown, and the markup still holds (decodeAll checks).
  EXPECT_TRUE(oneTextHas(d, otData, {"4F 4B 3B 23 0D 0A  OK"}));
}

TEST(ScriptsOnEnumeration, MassStorage) {
  const Tdecoded d = decodeAll(scenarioRows("storage", 0.3));
  EXPECT_TRUE(oneTextHas(d, otTransfer, {"Mass Storage Get Max LUN", "Max LUN#0 (LUNs 0 to 0)"}));
  EXPECT_TRUE(oneTextHas(d, otTransax, {"CBW tag 0x00000101: SCSI INQUIRY", "Allocation length#36 bytes"}));
  EXPECT_TRUE(
      oneTextHas(d, otTransax, {"SCSI READ(10)", "Logical block address#0", "Transfer length#1 blocks"}));
  EXPECT_TRUE(oneTextHas(d, otTransax, {"SCSI INQUIRY data", "Vendor#\"WRENFLD\""}));
  for (const auto& t : d.texts) EXPECT_FALSE(t.find("residue is wrong") != std::string::npos) << t;
}
