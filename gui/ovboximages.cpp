#include "ovboximages.h"

#include <wx/dcmemory.h>

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
  std::string key = text;
  key.append(1, '\0').append(std::to_string(textColour)).append(1, ',').append(std::to_string(fillColour));
  key.append(1, ',').append(std::to_string(w)).append(1, 'x').append(std::to_string(h));
  auto found = images.find(key);
  if (found != images.end()) return found->second;
  if (images.size() >= limit) images.clear();

  wxBitmap image(std::max(w, 1), std::max(h, 1));
  {
    wxMemoryDC dc(image);
    dc.SetFont(font);
    dc.SetBackground(wxBrush(fromBGR(fillColour)));
    dc.Clear();
    dc.SetTextForeground(fromBGR(textColour));
    dc.DrawText(toWx(text), (w - textWidth(dc, text)) / 2, (h - textHeight) / 2);
  }
  return images.emplace(std::move(key), image).first->second;
}
