#include "ovboximages.h"

#include <wx/dcmemory.h>

#include "ovwxtext.h"

namespace {

wxColour fromBGR(uint64_t c) { return wxColour(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff); }

}  // namespace

void TboxImages::setFont(const wxFont& f) {
  font = f;
  images.clear();
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
    dc.DrawLabel(toWx(text), wxRect(0, 0, w, h), wxALIGN_CENTRE_HORIZONTAL | wxALIGN_CENTRE_VERTICAL);
  }
  return images.emplace(std::move(key), image).first->second;
}
