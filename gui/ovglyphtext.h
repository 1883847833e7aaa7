// Printable ASCII texts put on a cairo context as glyphs of one font, with
// no layout: box texts are ASCII in one font and direction, and laying out
// each new text (a time, a payload) through pango cost more than the rest of
// its row. Characters stand where their pixel widths put them, so a drawn
// text is exactly as wide as the sum of its characters' widths.
#pragma once

#include <wx/font.h>
#include <wx/graphics.h>

#include <array>
#include <memory>
#include <string>

typedef struct _PangoFont PangoFont;

class TglyphText {
 public:
  // The font, and each character's width in pixels.
  void setFont(const wxFont& font, const std::array<int, 128>& charWidths);
  // Draws text with its top left at x, y; false, having drawn nothing, when the text is not
  // printable ASCII or gc does not draw with cairo.
  bool draw(wxGraphicsContext& gc, const std::string& text, const wxColour& colour, int x, int y) const;

 private:
  struct TunrefFont {
    void operator()(PangoFont* font) const;
  };
  std::unique_ptr<PangoFont, TunrefFont> font;
  std::array<unsigned long, 128> glyphs{};
  std::array<int, 128> widths{};
  double baseline = 0;
};
