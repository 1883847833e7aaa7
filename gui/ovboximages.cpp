#include "ovboximages.h"

#include <wx/dcmemory.h>
#include <wx/graphics.h>

#include "ovwxtext.h"

namespace {

wxColour fromBGR(uint64_t c) { return wxColour(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff); }

}  // namespace

void TboxImages::setFont(const wxFont& f) {
  font = f;
  images.clear();
  wxBitmap scratch(8, 8);
  wxMemoryDC dc(scratch);
  dc.SetFont(font);
  for (int c = ' '; c < 127; c++) charWidths[c] = dc.GetTextExtent(wxString(static_cast<char>(c))).x;
  textHeight = dc.GetTextExtent("X").y;
}

int TboxImages::textWidth(wxDC& dc, const std::string& text) const {
  int width = 0;
  for (char c : text) {
    // Another character: the text is measured whole.
    if (c < ' ' || c > '~') return dc.GetTextExtent(toWx(text)).x;
    width += charWidths[static_cast<unsigned char>(c)];
  }
  return width;
}

const wxBitmap& TboxImages::get(const std::string& text, uint64_t textColour, uint64_t fillColour, int w,
                                int h) {
  std::string key = textImageKey(text, textColour, fillColour, w, h);
  if (const wxBitmap* found = images.find(key)) return *found;

  wxBitmap image(std::max(w, 1), std::max(h, 1));
  {
    wxMemoryDC dc(image);
    dc.SetFont(font);
    dc.SetBackground(wxBrush(fromBGR(fillColour)));
    dc.Clear();
    const wxString wxText = toWx(text);
    const int x = (w - textWidth(dc, text)) / 2, y = (h - textHeight) / 2;
    // Straight to the graphics context where there is one: the DC's DrawText measures the
    // text once more, for a bounding box no one asks for, and that costs as much as drawing it.
    if (wxGraphicsContext* gc = dc.GetGraphicsContext()) {
      gc->SetFont(font, fromBGR(textColour));
      gc->DrawText(wxText, x, y);
    } else {
      dc.SetTextForeground(fromBGR(textColour));
      dc.DrawText(wxText, x, y);
    }
  }
  return images.put(std::move(key), image);
}
