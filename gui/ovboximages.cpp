#include "ovboximages.h"

#include <wx/graphics.h>

#include <algorithm>

#include "ovwxtext.h"

namespace {

wxColour fromBGR(uint64_t c) { return wxColour(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff); }

}  // namespace

void TboxImages::setFont(const wxFont& f) {
  font = f;
  images.clear();
  scratch = wxBitmap(8, 8);
  measurer.SelectObject(scratch);
  measurer.SetFont(font);
  for (int c = ' '; c < 127; c++) charWidths[c] = measurer.GetTextExtent(wxString(static_cast<char>(c))).x;
  textHeight = measurer.GetTextExtent("X").y;
  glyphs.setFont(font, charWidths);
}

int TboxImages::textWidth(const std::string& text) {
  int width = 0;
  for (char c : text) {
    // Another character: the text is measured whole.
    if (c < ' ' || c > '~') return measurer.GetTextExtent(toWx(text)).x;
    width += charWidths[static_cast<unsigned char>(c)];
  }
  return width;
}

void TboxImages::draw(wxDC& dc, const std::string& text, uint64_t textColour, uint64_t fillColour, int x, int y,
                      int w, int h) {
  std::string key = textImageKey(text, textColour, fillColour, w, h);
  Tkept* kept = images.find(key);
  if (!kept) kept = &images.put(std::move(key), Tkept{});
  if (++kept->shown < 2) return paint(dc, text, textColour, fillColour, x, y, w, h);
  if (!kept->image.IsOk()) {
    kept->image = wxBitmap(std::max(w, 1), std::max(h, 1));
    wxMemoryDC imageDc(kept->image);
    paint(imageDc, text, textColour, fillColour, 0, 0, w, h);
  }
  dc.DrawBitmap(kept->image, x, y);
}

void TboxImages::paint(wxDC& dc, const std::string& text, uint64_t textColour, uint64_t fillColour, int x, int y,
                       int w, int h) {
  const int width = textWidth(text);
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.SetBrush(wxBrush(fromBGR(fillColour)));
  dc.DrawRectangle(x, y, w, h);
  // A text wider than its box is cut at the box's edges.
  const bool clip = width > w;
  if (clip) dc.SetClippingRegion(x, y, w, h);
  const int tx = x + (w - width) / 2, ty = y + (h - textHeight) / 2;
  wxGraphicsContext* gc = dc.GetGraphicsContext();
  if (!gc || !glyphs.draw(*gc, text, fromBGR(textColour), tx, ty)) {
    dc.SetFont(font);
    dc.SetTextForeground(fromBGR(textColour));
    dc.DrawText(toWx(text), tx, ty);
  }
  if (clip) dc.DestroyClippingRegion();
}
