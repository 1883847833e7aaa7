// What the main window remembers between runs: its size, where its sashes
// are and the rows' zoom. Values a hand-edited or damaged file makes unusable
// are ignored, each falling back to its default.
#pragma once

class wxConfigBase;

struct TwindowSettings {
  int width = 0, height = 0;  // 0: the size that fits the display
  bool maximized = false;
  int devicesWidth = 400;  // the devices pane's
  int rightColumn = 420;   // the decode and data panes' width
  int dataHeight = 220;   // the data pane's height
  int pointSize = 0;      // of the rows; 0: the default

  // Sizes smaller than these are not remembered.
  static constexpr int minWidth = 650, minHeight = 400, minPane = 100, minPoint = 6, maxPoint = 96;
};

TwindowSettings loadWindowSettings(wxConfigBase& config);
void saveWindowSettings(wxConfigBase& config, const TwindowSettings& settings);
