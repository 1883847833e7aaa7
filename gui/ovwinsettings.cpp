#include "ovwinsettings.h"

#include <wx/confbase.h>

namespace {

const char* group = "/Window/";

// The stored value when it lies in [low, high], else fallback.
int readInt(wxConfigBase& config, const char* key, int low, int high, int fallback) {
  long value = 0;
  if (!config.Read(wxString(group) + key, &value) || value < low || value > high) return fallback;
  return static_cast<int>(value);
}

}  // namespace

TwindowSettings loadWindowSettings(wxConfigBase& config) {
  constexpr int big = 100000;
  TwindowSettings s;
  const int width = readInt(config, "Width", s.minWidth, big, 0);
  const int height = readInt(config, "Height", s.minHeight, big, 0);
  // A size is kept whole or not at all.
  if (width && height) {
    s.width = width;
    s.height = height;
  }
  config.Read(wxString(group) + "Maximized", &s.maximized, false);
  s.devicesWidth = readInt(config, "DevicesWidth", s.minPane, big, s.devicesWidth);
  s.rightColumn = readInt(config, "RightColumn", s.minPane, big, s.rightColumn);
  s.dataHeight = readInt(config, "DataHeight", s.minPane, big, s.dataHeight);
  s.pointSize = readInt(config, "PointSize", s.minPoint, s.maxPoint, 0);
  return s;
}

void saveWindowSettings(wxConfigBase& config, const TwindowSettings& s) {
  config.Write(wxString(group) + "Width", s.width);
  config.Write(wxString(group) + "Height", s.height);
  config.Write(wxString(group) + "Maximized", s.maximized);
  config.Write(wxString(group) + "DevicesWidth", s.devicesWidth);
  config.Write(wxString(group) + "RightColumn", s.rightColumn);
  config.Write(wxString(group) + "DataHeight", s.dataHeight);
  config.Write(wxString(group) + "PointSize", s.pointSize);
  config.Flush();
}
