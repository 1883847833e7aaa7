// --descriptors and --hint: what twr decodes with when a capture lacks a
// device's enumeration, and the sets it remembers from captures that hold one.
#include <gtest/gtest.h>

#include <filesystem>

#include "runtwr.h"
#include "scenariofile.h"

TEST(CliDescriptors, RememberedListedAndHinted) {
  std::filesystem::remove_all(configDir());
  const std::string late = scenarioFile("hid-late", 0.2);
  const std::string lsusb = TWR_TEST_DATA_DIR "/lsusb/";
  Trun r = runTwr("decode '" + late + "' --decode --descriptors '" + lsusb + "synthesized.txt'");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "twr: " + lsusb +
                       "synthesized.txt: device 7: the text lacks the report descriptor of "
                       "interface 0 (lsusb prints it when run as root)\n");
  EXPECT_EQ(r.out.find("THID input report"), std::string::npos);

  // A capture of the enumeration is remembered; its ids, from the listed text
  // or a hint, then find the set with the report descriptor.
  const std::string full = scenarioFile("hid", 0.2);
  EXPECT_EQ(runTwr("decode '" + full + "' --decode").status, 0);
  EXPECT_TRUE(std::filesystem::exists(configDir() + "/tracewren/devices/1209-7a57.descriptors"));
  const std::string remembered =
      "its descriptors come from descriptors remembered from an earlier capture (" +
      std::filesystem::path(full).filename().string() + ").";
  for (const std::string& options :
       {"--descriptors '" + lsusb + "synthesized.txt'", std::string("--hint 7:1209:7a57")}) {
    r = runTwr("decode '" + late + "' --decode " + options);
    EXPECT_EQ(r.status, 0) << options;
    EXPECT_NE(r.out.find("THID input report"), std::string::npos) << options;
    EXPECT_NE(r.out.find(remembered), std::string::npos) << options;
  }
  r = runTwr("decode '" + late + "' --decode --descriptors '7:" + lsusb +
             "mouse-root.txt' --hint 3:msc,4:0x08");
  EXPECT_NE(r.out.find("its descriptors come from the lsusb -v text mouse-root.txt, given for address 7."),
            std::string::npos);

  const std::pair<std::string, std::string> misuse[] = {
      {"decode '" + late + "' --descriptors x", "twr decode: --descriptors and --hint need --decode\n"},
      {"decode '" + late + "' --decode --hint 7:frob",
       "twr decode: --hint: hint '7:frob' is not ADDR:CLASS or "},
      {"decode '" + late + "' --decode --descriptors /nonexistent/lsusb.txt",
       "cannot read /nonexistent/lsusb.txt"},
      {"decode '" + late + "' --decode --descriptors '" + full + "'", "no device descriptors in it"},
      {"decode '" + late + "' --decode --descriptors '7:" + lsusb + "synthesized.txt'",
       "4 devices in it; 7: takes the text of one"},
      {"decode '" + late + "' --decode --descriptors '" + lsusb + "mouse-root.txt'",
       "a device without its 'Bus ... Device NNN' line; give its address as ADDR:"},
  };
  for (const auto& [args, err] : misuse) {
    r = runTwr(args);
    EXPECT_EQ(r.status, err.rfind("twr decode:", 0) == 0 ? 2 : 1) << args;
    EXPECT_NE(r.err.find(err), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "") << args;
  }
}
