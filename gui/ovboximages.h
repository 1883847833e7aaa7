// Filled, labelled box images by text, colours and size: most box texts
// ("ADDR", "0x2D", "Idle") repeat from row to row, and drawing text is the
// dearest part of building a row. Texts are measured from the widths of their
// characters: measuring a whole text costs more than drawing it, and times,
// numbers and payloads make new texts in every row.
#pragma once

#include <wx/bitmap.h>
#include <wx/dc.h>
#include <wx/font.h>

#include <array>
#include <cstdint>
#include <string>

#include "ovboxkey.h"

class TboxImages {
 public:
  // Forgets every image: the font changed.
  void setFont(const wxFont& f);
  const wxBitmap& get(const std::string& text, uint64_t textColour, uint64_t fillColour, int w, int h);
  // The text's width in dc, whose font is this one's.
  int textWidth(wxDC& dc, const std::string& text) const;

 private:
  wxFont font;
  std::array<int, 128> charWidths{};  // of the printable ASCII characters
  int textHeight = 0;
  TimageMap<wxBitmap> images{4096};
};
