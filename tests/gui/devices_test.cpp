// Descriptors from outside the capture in the window's decodes: the session's
// hints, the sets remembered from captures shown, and the decode they change.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "decode/ovexthrd.h"
#include "lua/scratchdir.h"
#include "ovdispldata.h"
#include "ovsessiondevices.h"
#include "ovsetremembering.h"
#include "support/testfiles.h"
#include "synth/generator.h"

namespace {

std::shared_ptr<Tcapture> scenarioRows(const std::string& scenario) {
  std::vector<uint8_t> raw = synth::rawCapture(scenario, 0.3, 5);
  TexThread decoder;
  decoder.startDecode(&raw);
  return decoder.capture;
}

// The scripts of the source tree, for the program's own decode texts.
struct TsourceScripts {
  TsourceScripts() { setenv("TWR_SCRIPTS", TWR_SOURCE_DIR "/scripts", 1); }
  ~TsourceScripts() { unsetenv("TWR_SCRIPTS"); }
};

// How many rows' decode texts hold every needle.
int rowsSaying(TdisplData& d, const std::vector<std::string>& needles) {
  int n = 0;
  for (int row = 0; row < d.rowCount(); ++row) {
    const std::string text = d.genRowDecode(row);
    bool all = true;
    for (const std::string& needle : needles) all = all && text.find(needle) != std::string::npos;
    n += all;
  }
  return n;
}

}  // namespace

TEST(SessionDevices, HintsAndListingsByAddressAsSnapshots) {
  ScratchDir dir;
  TsessionDevices session(TdeviceStore(std::filesystem::absolute("devices")));
  const auto empty = session.devices();
  EXPECT_EQ(session.giveHint(7, "cdc"), "");
  EXPECT_EQ(session.giveHint(5, "10c4:EA60"), "");
  EXPECT_TRUE(empty->hints.empty()) << "a snapshot held elsewhere changed";
  const TexternalDevices& given = *session.devices();
  EXPECT_EQ(given.hints.at(7).deviceClass, 2);
  EXPECT_EQ(given.hints.at(5).vendor, 0x10C4);
  EXPECT_EQ(given.hints.at(5).product, 0xEA60);
  EXPECT_EQ(session.hintLines(), (std::vector<std::string>{"5: the hint 5:10c4:EA60", "7: the hint 7:cdc"}));

  for (const auto& [address, what] : {std::pair<int, std::string>{7, "nonsense"}, {128, "cdc"}, {7, "10c4:"}})
    EXPECT_NE(session.giveHint(address, what), "") << address << ":" << what;
  EXPECT_EQ(session.devices()->hints.at(7).deviceClass, 2) << "a refused hint replaced one";

  // Several devices: the one at the address; one device: whatever the address.
  std::vector<std::string> notes;
  const std::string several = readFile(TWR_TEST_DATA_DIR "/lsusb/synthesized.txt");
  EXPECT_EQ(session.giveListing(5, several, "all.txt", notes), "");
  const auto& listed = session.devices()->hints.at(5);
  ASSERT_TRUE(listed.descriptors);
  EXPECT_EQ(listed.descriptors->ids(), 0x04036001);
  EXPECT_EQ(listed.descriptors->source, "the lsusb -v text all.txt, given for address 5");
  EXPECT_NE(session.giveListing(8, several, "all.txt", notes), "");
  EXPECT_EQ(session.giveListing(8, readFile(TWR_TEST_DATA_DIR "/lsusb/tidal.txt"), "t.txt", notes), "");
  EXPECT_EQ(session.devices()->hints.at(8).descriptors->ids(), 0x16d01114);
  EXPECT_NE(session.giveListing(9, "not lsusb at all\n", "x.txt", notes), "");
  EXPECT_EQ(session.devices()->hints.count(9), 0u);

  session.forget(7);
  EXPECT_EQ(session.devices()->hints.count(7), 0u);
  EXPECT_EQ(session.devices()->hints.size(), 2u);
}

// A capture with the enumeration is remembered; a later one without it then
// decodes its class data, and a hint given for it comes first.
TEST(SessionDevices, RememberedSetsAndHintsDecodeALateCapture) {
  TsourceScripts scripts;
  ScratchDir dir;
  const TdeviceStore store(std::filesystem::absolute("devices"));
  TsessionDevices session(store);
  TdisplData shown;
  shown.setExternalDevices(session.devices());
  ASSERT_GT(shown.adopt(scenarioRows("serial-late")), 0u);
  EXPECT_EQ(rowsSaying(shown, {"serial data"}), 0);

  {
    TsetRemembering remembering(store);
    remembering.remember(scenarioRows("serial"), "serial.ovd");
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!remembering.idle() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(remembering.idle());
    EXPECT_EQ(remembering.lastError(), "");
  }
  session.reloadRemembered();
  ASSERT_EQ(session.devices()->remembered.size(), 1u);
  // The ids name the remembered set; a class alone names none.
  ASSERT_EQ(session.giveHint(9, "1209:7a59"), "");
  shown.setExternalDevices(session.devices());
  EXPECT_GT(rowsSaying(shown, {"serial data", "remembered from an earlier capture (serial.ovd)"}), 0);
  ASSERT_EQ(session.giveHint(9, "vendor"), "");
  shown.setExternalDevices(session.devices());
  EXPECT_EQ(rowsSaying(shown, {"serial data"}), 0);
  ASSERT_EQ(session.giveHint(9, "cdc"), "");
  shown.setExternalDevices(session.devices());
  EXPECT_GT(rowsSaying(shown, {"serial data", "the hint 9:cdc"}), 0);
}
