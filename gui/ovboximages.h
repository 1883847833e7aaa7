// Filled, labelled box images by text, colours and size: most box texts
// ("ADDR", "0x2D", "Idle") repeat from row to row, and drawing text is the
// dearest part of building a row.
#pragma once

#include <wx/bitmap.h>
#include <wx/font.h>

#include <cstdint>
#include <string>
#include <unordered_map>

class TboxImages {
 public:
  // Forgets every image: the font changed.
  void setFont(const wxFont& f);
  const wxBitmap& get(const std::string& text, uint64_t textColour, uint64_t fillColour, int w, int h);

 private:
  static constexpr std::size_t limit = 4096;  // images kept before starting afresh
  wxFont font;
  std::unordered_map<std::string, wxBitmap> images;
};
