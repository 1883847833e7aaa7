// One drawn row: a background that marks the selected and the marked row,
// then the row's boxes left to right. Also keeps the row's decode text, made
// when first asked for: rows scrolling past, as a capture arrives, never wait for the scripts.
#pragma once

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/font.h>

#include <optional>
#include <string>

#include "boxes/ovboxes.h"
#include "ovboximages.h"
#include "ovdispldata.h"

// Pixel geometry of every row, from the extent of "X" in the row font.
struct TrowMetrics {
  int fontWid = 8;  // one character cell; box widths count these
  int yBoxTop = 2;
  int yBoxMid = 17;
  int yBoxBot = 32;
  int rowHt = 35;
  static TrowMetrics fromCharSize(int w, int h) { return {w, 2, h + 4, 2 * h + 6, 2 * h + 9}; }
};

// Background colours of a row by its highlight (selected, marked, neither).
extern const wxColour rowSelectedBg, rowMarkedBg, rowPlainBg;

class Trow {
 public:
  // highlight: 0 selected, 1 marked, anything else plain.
  Trow(TdisplData& data, const wxFont& font, TboxImages& images, const TrowMetrics& metrics, int ix,
       int width, int highlight);

  int ix;
  int fx = 8;  // drawing cursor
  int fxRight = 0;
  int bmWidth;

  // w: the used width (right end of the last box plus a margin).
  const wxBitmap& getRowBitmap(int& w, int& h) const;
  // Empty for a hidden row.
  const std::string& getDecode(TdisplData& data);

 private:
  void gap(int n) { fx += n; }
  void clearBM(wxDC& dc, const wxColour& colour);
  void borderRect(wxDC& dc, int x1, int y1, int x2, int y2);
  void midHbar(wxDC& dc);
  void textBox(wxDC& dc, const wxRect& rect, uint64_t textColour, uint64_t fillColour,
               const std::string& text);
  void drawBox(wxDC& dc, const TdisplayBox& box);

  TrowMetrics m;
  TboxImages& images;
  wxBitmap bitmap;
  bool visible = false;
  std::optional<std::string> decode;
};
