// What the title says and whether closing the window would lose a capture.
#include <gtest/gtest.h>

#include "ovshownsource.h"

TEST(GuiShownSource, OnlyACaptureNotSavedSinceIsLostAndTheTitleNamesTheFile) {
  TshownSource shown;
  EXPECT_EQ(shown.title("Tracewren"), "Tracewren");
  EXPECT_FALSE(shown.unsaved());
  shown.fileRead("/data/dir one/usb.pcapng");
  EXPECT_EQ(shown.title("Tracewren"), "usb.pcapng - Tracewren");
  EXPECT_FALSE(shown.unsaved());
  shown.captureKept();
  EXPECT_TRUE(shown.unsaved());
  EXPECT_EQ(shown.path(), "");
  EXPECT_EQ(shown.title("Tracewren"), "Capture (not saved) - Tracewren");
  shown.saved("/tmp/kept.ovd");
  EXPECT_FALSE(shown.unsaved());
  EXPECT_EQ(shown.path(), "/tmp/kept.ovd");
  EXPECT_EQ(shown.title("Tracewren"), "kept.ovd - Tracewren");
  shown.captureKept();
  shown.fileRead("other.ovd");
  EXPECT_FALSE(shown.unsaved());
}
