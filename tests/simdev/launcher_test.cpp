// twr-sim runs other programs with the simulated sniffer on their bus.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "usbsupport.h"

namespace {

// Output and exit status of a shell command.
int run(const std::string& command, std::string& output) {
  output.clear();
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// Runs only as the launcher's child: the program sees exactly one sniffer, created elsewhere.
TEST(LauncherChild, SeesOneSniffer) {
  if (!std::getenv("TWR_SIMDEV_CHILD")) GTEST_SKIP() << "runs under twr-sim only";
  Tusb usb;
  ASSERT_EQ(usb.sniffers().size(), 1u);
  libusb_device_handle* h = usb.open();
  ASSERT_NE(h, nullptr);
  // The firmware download makes it leave and come back, announced to this process.
  const int before = usb.sniffers().at(0);
  EXPECT_TRUE(downloadFirmware(h, embeddedFirmware()));
  libusb_close(h);
  EXPECT_TRUE(usb.waitUntilGone(std::chrono::seconds(2)));
  EXPECT_NE(usb.waitForNew(before, std::chrono::seconds(3)), 0);
}

TEST(Launcher, RunsAProgramWithTheSnifferAttached) {
  std::string output;
  const std::string launcher = TWR_SIM_LAUNCHER;
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  EXPECT_EQ(run("TWR_SIMDEV_CHILD=1 " + launcher + " --pace fast --renumerate-ms 100 -- " + self +
                    " --gtest_filter=LauncherChild.*",
                output),
            0)
      << output;
  EXPECT_NE(output.find("[       OK ] LauncherChild.SeesOneSniffer"), std::string::npos) << output;

  EXPECT_EQ(run(launcher + " -- false", output), 1) << "the child's exit status is passed on";
  EXPECT_EQ(run(launcher + " --fault no-such-fault -- true", output), 2);
}
