// Filled, labelled box texts by text, colours and size: most box texts
// ("ADDR", "0x2D", "Idle") repeat from row to row, and drawing text is the
// dearest part of building a row, so a text met again is kept as an image.
// One met for the first time (a time, a payload) is drawn where it goes: an
// image of its own would cost more than the text and be copied once.
// Texts are measured from the widths of their characters: measuring a whole
// text costs more than drawing it, and times, numbers and payloads make new
// texts in every row.
#pragma once

#include <wx/bitmap.h>
#include <wx/dc.h>
#include <wx/dcmemory.h>
#include <wx/font.h>

#include <array>
#include <cstdint>
#include <string>

#include "ovboxkey.h"
#include "ovglyphtext.h"

class TboxImages {
 public:
  // Forgets every image: the font changed.
  void setFont(const wxFont& f);
  // The text centred in a box filled with fillColour, w by h pixels at x, y.
  void draw(wxDC& dc, const std::string& text, uint64_t textColour, uint64_t fillColour, int x, int y, int w,
            int h);
  int textWidth(const std::string& text);

 private:
  void paint(wxDC& dc, const std::string& text, uint64_t textColour, uint64_t fillColour, int x, int y, int w,
             int h);

  struct Tkept {
    int shown = 0;
    wxBitmap image;  // from the second showing on
  };

  wxFont font;
  wxBitmap scratch;
  wxMemoryDC measurer;  // for texts beyond printable ASCII
  std::array<int, 128> charWidths{};
  int textHeight = 0;
  TglyphText glyphs;
  TimageMap<Tkept> images{4096};
};
