// Descriptors from outside a capture: "lsusb -v" texts read back into the
// bytes the devices sent, the store of remembered sets, and user hints.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "decode/ovgroup.h"
#include "files/ovcapturefile.h"
#include "files/ovdevicestore.h"
#include "files/ovlsusb.h"
#include "support/testfiles.h"
#include "synth/classdevices.h"

namespace {

std::string lsusbText(const std::string& name) { return readFile(TWR_TEST_DATA_DIR "/lsusb/" + name); }

// The data stage of the first GET_DESCRIPTOR of `type` to `address` with at least `size` bytes.
std::vector<uint8_t> captured(const Tcapture& capture, unsigned address, uint8_t type, size_t size) {
  for (size_t ix = 0; ix < capture.rootCount(); ++ix) {
    const TobjPtr root = capture.root(ix);
    auto* transfer = dynamic_cast<Ttransfer*>(root.get());
    const auto setup = transfer ? transfer->findSetupTransax() : nullptr;
    const auto data = setup ? setup->findDataPkt() : nullptr;
    if (!data || data->data.size() != 8 || setup->findTokenPkt()->addr != address) continue;
    if (data->data[1] == 6 && data->data[3] == type && transfer->findData().size() >= size)
      return transfer->data;
  }
  return {};
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

}  // namespace

TEST(LsusbText, SynthesizedDevicesReadBackExactly) {
  std::vector<std::string> notes;
  const std::vector<TlistedDevice> devices = parseLsusb(lsusbText("synthesized.txt"), notes);
  const std::pair<int, synth::TdeviceBlobs> expected[] = {{9, synth::cdcAcmBlobs()},
                                                          {7, synth::hidMouseBlobs()},
                                                          {6, synth::dfuBlobs(false)},
                                                          {5, synth::ftdiBlobs()}};
  ASSERT_EQ(devices.size(), std::size(expected));
  for (size_t i = 0; i < devices.size(); ++i) {
    EXPECT_EQ(devices[i].address, expected[i].first);
    EXPECT_EQ(devices[i].descriptors.device, expected[i].second.device) << i;
    EXPECT_EQ(devices[i].descriptors.configuration, expected[i].second.configuration) << i;
    EXPECT_TRUE(devices[i].descriptors.reports.empty());
  }
  // lsusb without root prints no report descriptor: said, and nothing else is missing.
  EXPECT_EQ(notes,
            std::vector<std::string>{"device 7: the text lacks the report descriptor of interface 0 (lsusb "
                                     "prints it when run as root)"});
  // As root it prints the items, which give the descriptor back; a text copied
  // from the device descriptor on has no address.
  notes.clear();
  const std::vector<TlistedDevice> root = parseLsusb(lsusbText("mouse-root.txt"), notes);
  ASSERT_EQ(root.size(), 1u);
  EXPECT_EQ(root[0].address, -1);
  EXPECT_EQ(root[0].descriptors.reports.at(0), synth::hidMouseBlobs().hidReport);
  EXPECT_TRUE(notes.empty());
}

TEST(LsusbText, RealDeviceMatchesItsCapture) {
  Tcapture capture;
  TcaptureFile file;
  Tinput input(TWR_TEST_DATA_DIR "/packetry/emf2022-badge/capture.pcap");
  ASSERT_TRUE(file.load(input, capture)) << file.lastError();
  std::vector<std::string> notes;
  const std::string text = lsusbText("tidal.txt");
  std::vector<TlistedDevice> devices = parseLsusb(text, notes);
  ASSERT_EQ(devices.size(), 1u);
  const TdeviceDescriptors& d = devices[0].descriptors;
  EXPECT_EQ(devices[0].address, 2);
  EXPECT_EQ(d.device, captured(capture, 2, 0x01, 18));
  EXPECT_EQ(d.configuration, captured(capture, 2, 0x02, 100));
  EXPECT_EQ(d.reports.at(2), captured(capture, 2, 0x22, 144));
  EXPECT_EQ(d.ids(), 0x16D01114);
  EXPECT_TRUE(notes.empty());

  // Bytes lsusb did not understand are taken as they are; a descriptor it
  // shows only decoded is left out, said, and the set's total says what it holds.
  const std::string raw = replaced(text, "      CDC Header:\n        bcdCDC               1.20\n",
                                   "      ** UNRECOGNIZED:  05 24 00 20 01\n");
  devices = parseLsusb(replaced(raw, "      CDC ACM:\n", "      CDC Vendor Functional Descriptor:\n"), notes);
  std::vector<uint8_t> expected = captured(capture, 2, 0x02, 100);
  expected.erase(expected.begin() + 36, expected.begin() + 40);  // the 4-byte ACM descriptor
  expected[2] = 96;
  EXPECT_EQ(devices.at(0).descriptors.configuration, expected);
  EXPECT_EQ(
      notes,
      (std::vector<std::string>{
          "device 2: left out the CDC Vendor Functional Descriptor (lsusb shows its fields, not its bytes)",
          "device 2: the configuration has 96 of its 100 bytes"}));
}

TEST(DeviceStore, RemembersPerIdsAndReadsBack) {
  const std::filesystem::path dir = tempPath("store");
  std::filesystem::remove_all(dir);
  TdeviceStore store(dir / "devices");
  const synth::TdeviceBlobs blobs = synth::hidMouseBlobs();
  TdeviceDescriptors mouse{"", blobs.device, blobs.configuration, {{0, blobs.hidReport}}};
  const TdeviceDescriptors ftdi{"", synth::ftdiBlobs().device, synth::ftdiBlobs().configuration, {}};
  ASSERT_TRUE(store.save(mouse, "mouse.raw")) << store.lastError();
  ASSERT_TRUE(store.save(ftdi, "serial.pcap"));
  auto sets = store.load();
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets.at(0x12097A57), mouse);
  EXPECT_EQ(sets.at(0x12097A57).source, "descriptors remembered from an earlier capture (mouse.raw)");
  EXPECT_EQ(sets.at(0x04036001), ftdi);

  // An unchanged set keeps the capture it came from; a changed one replaces it.
  ASSERT_TRUE(store.save(mouse, "again.raw"));
  EXPECT_EQ(store.load().at(0x12097A57).source, "descriptors remembered from an earlier capture (mouse.raw)");
  mouse.reports.clear();
  ASSERT_TRUE(store.save(mouse, "later.raw"));
  sets = store.load();
  EXPECT_EQ(sets.at(0x12097A57), mouse);
  EXPECT_EQ(sets.at(0x12097A57).source, "descriptors remembered from an earlier capture (later.raw)");

  // Other files are passed over, a set needs its device descriptor, no directory holds none.
  writeFile((dir / "devices" / "junk.descriptors").string(), "tracewren device descriptors 1\ndevice zz\n");
  EXPECT_EQ(store.load().size(), 2u);
  EXPECT_FALSE(store.save(TdeviceDescriptors{}, "x.raw"));
  EXPECT_TRUE(TdeviceStore(dir / "none").load().empty());

  // Where: XDG_CONFIG_HOME when it is absolute, else ~/.config.
  const std::string home = getenv("HOME") ? getenv("HOME") : "";
  setenv("XDG_CONFIG_HOME", "/etc/xdg-test", 1);
  EXPECT_EQ(TdeviceStore::defaultDir(), "/etc/xdg-test/tracewren/devices");
  setenv("XDG_CONFIG_HOME", "relative", 1);
  setenv("HOME", "/home/tester", 1);
  EXPECT_EQ(TdeviceStore::defaultDir(), "/home/tester/.config/tracewren/devices");
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  std::filesystem::remove_all(dir);
}

TEST(DeviceHints, ClassesIdsAndMistakes) {
  int address = -1;
  TdeviceHint hint;
  std::string error;
  ASSERT_TRUE(parseHint("5:cdc", address, hint, error));
  EXPECT_EQ(address, 5);
  EXPECT_EQ(hint.deviceClass, 2);
  EXPECT_EQ(hint.source, "the hint 5:cdc");
  ASSERT_TRUE(parseHint("127:254.1", address, hint, error));
  EXPECT_EQ(address, 127);
  EXPECT_EQ(hint.deviceClass * 256 + hint.subclass, 0xFE01);
  ASSERT_TRUE(parseHint("7:0x08", address, hint, error));
  EXPECT_EQ(hint.deviceClass, 8);
  ASSERT_TRUE(parseHint("3:0403:6001", address, hint, error));
  EXPECT_EQ(hint.vendor << 16 | hint.product, 0x04036001);
  EXPECT_EQ(hint.deviceClass, -1);
  for (const char* wrong :
       {"5", "128:hid", "x:hid", "5:frob", "5:256", "5:0403:601", "5:0403:60011", "5:-1"}) {
    EXPECT_FALSE(parseHint(wrong, address, hint, error)) << wrong;
    EXPECT_NE(error.find(std::string("hint '") + wrong + "' is not ADDR:CLASS or ADDR:VVVV:PPPP"),
              std::string::npos);
  }
}
