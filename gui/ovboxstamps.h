// Whole boxes of a row, outline and texts, kept as images by what they show:
// most boxes ("IN 0x69", "ADDR 12", "ACK", "Idle 6") were drawn before, and one
// copy of a box costs less than its text images and its three strokes. A box
// is kept from its third showing on: boxes met once (times) or twice (a payload
// in its transaction's row and its packet's) would cost a copy and its memory
// for nothing.
#pragma once

#include <wx/bitmap.h>
#include <wx/dc.h>

#include "boxes/ovboxes.h"
#include "ovboximages.h"
#include "ovboxkey.h"

// Pixel geometry of every row, from the extent of "X" in the row font.
struct TrowMetrics {
  int fontWid = 8;  // one character cell; box widths count these
  int yBoxTop = 2;
  int yBoxMid = 17;
  int yBoxBot = 32;
  int rowHt = 35;
  static TrowMetrics fromCharSize(int w, int h) { return {w, 2, h + 4, 2 * h + 6, 2 * h + 9}; }
};

class TboxStamps {
 public:
  explicit TboxStamps(TboxImages& images) : images(images) {}
  // Forgets every box: the font changed.
  void setMetrics(const TrowMetrics& metrics);
  // The box at x, w pixels wide, on a row whose background is rowBg.
  void draw(wxDC& dc, const TdisplayBox& box, int x, int w, const wxColour& rowBg);

 private:
  // Draws the box itself, its top at the row's y plus dy.
  void paint(wxDC& dc, const TdisplayBox& box, int x, int w, int dy);
  wxBitmap makeStamp(const TdisplayBox& box, int w, const wxColour& rowBg);

  struct Tstamp {
    int shown = 0;
    wxBitmap image;  // from the third showing on
  };

  TboxImages& images;
  TrowMetrics m;
  TimageMap<Tstamp> stamps{1024};
};
