// What the main window remembers: it comes back as it was saved, and a damaged
// or hand-edited file never makes an unusable window.
#include <gtest/gtest.h>
#include <wx/fileconf.h>
#include <wx/sstream.h>

#include "ovwinsettings.h"

namespace {

// A settings file with this text.
TwindowSettings loadFrom(const wxString& text) {
  wxStringInputStream in(text);
  wxFileConfig config(in);
  return loadWindowSettings(config);
}

}  // namespace

TEST(GuiWindowSettings, ComeBackAsSavedAndUnusableValuesFallBack) {
  const TwindowSettings fresh = loadFrom("");
  EXPECT_EQ(fresh.width, 0);
  EXPECT_EQ(fresh.devicesWidth, 400);
  EXPECT_EQ(fresh.rightColumn, 420);
  EXPECT_EQ(fresh.dataHeight, 220);
  EXPECT_EQ(fresh.pointSize, 0);

  TwindowSettings s;
  s.width = 1000;
  s.height = 700;
  s.maximized = true;
  s.devicesWidth = 260;
  s.rightColumn = 510;
  s.dataHeight = 180;
  s.pointSize = 16;
  wxStringInputStream nothing("");
  wxFileConfig written(nothing);
  saveWindowSettings(written, s);
  wxString text;
  wxStringOutputStream out(&text);
  ASSERT_TRUE(written.Save(out));
  const TwindowSettings back = loadFrom(text);
  EXPECT_EQ(back.width, 1000);
  EXPECT_EQ(back.height, 700);
  EXPECT_TRUE(back.maximized);
  EXPECT_EQ(back.devicesWidth, 260);
  EXPECT_EQ(back.rightColumn, 510);
  EXPECT_EQ(back.dataHeight, 180);
  EXPECT_EQ(back.pointSize, 16);

  // A tiny width takes the height with it; each other bad value falls back on its own.
  const TwindowSettings fallen = loadFrom(
      "[Window]\nWidth=20\nHeight=700\nDevicesWidth=7\nRightColumn=-5\nDataHeight=abc\nPointSize=500\nMaximized=1\n");
  EXPECT_EQ(fallen.width, 0);
  EXPECT_EQ(fallen.height, 0);
  EXPECT_EQ(fallen.devicesWidth, 400);
  EXPECT_EQ(fallen.rightColumn, 420);
  EXPECT_EQ(fallen.dataHeight, 220);
  EXPECT_EQ(fallen.pointSize, 0);
  EXPECT_TRUE(fallen.maximized);
}
