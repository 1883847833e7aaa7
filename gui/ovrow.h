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
#include "ovboxstamps.h"
#include "ovdispldata.h"

// Background colours of a row by its highlight (selected, marked, neither).
extern const wxColour rowSelectedBg, rowMarkedBg, rowPlainBg;

class Trow {
 public:
  // highlight: 0 selected, 1 marked, anything else plain.
  Trow(TdisplData& data, const wxFont& font, TboxImages& images, TboxStamps& stamps,
       const TrowMetrics& metrics, int ix, int width, int highlight);

  int ix;
  int fx = 8;  // drawing cursor
  int bmWidth;
  // Where the last box ends; right of it the row is filled with background().
  int boxesEnd() const { return boxesRight; }
  const wxColour& background() const { return bg; }

  // w: the used width (right end of the last box plus a margin).
  const wxBitmap& getRowBitmap(int& w, int& h) const;
  // Empty for a hidden row.
  const std::string& getDecode(TdisplData& data);

 private:
  void gap(int n) { fx += n; }
  void drawBox(wxDC& dc, const TdisplayBox& box);

  TrowMetrics m;
  TboxImages& images;
  TboxStamps& stamps;
  wxColour bg;
  int boxesRight = 0;
  wxBitmap bitmap;
  bool visible = false;
  std::optional<std::string> decode;
};
