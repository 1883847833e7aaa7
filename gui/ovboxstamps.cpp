#include "ovboxstamps.h"

#include <wx/dcmemory.h>

void TboxStamps::setMetrics(const TrowMetrics& metrics) {
  m = metrics;
  stamps.clear();
}

void TboxStamps::draw(wxDC& dc, const TdisplayBox& box, int x, int w, const wxColour& rowBg) {
  // Other kinds are an outline over what is there already, which a stamp cannot know.
  if (box.kind > 1 || w <= 0) return paint(dc, box, x, w, 0);
  std::string key = boxStampKey(box, w, rowBg.GetRGB());
  Tstamp* stamp = stamps.find(key);
  if (!stamp) stamp = &stamps.put(std::move(key), Tstamp{});
  if (++stamp->shown < 3) return paint(dc, box, x, w, 0);
  if (!stamp->image.IsOk()) stamp->image = makeStamp(box, w, rowBg);
  dc.DrawBitmap(stamp->image, x, m.yBoxTop);
}

wxBitmap TboxStamps::makeStamp(const TdisplayBox& box, int w, const wxColour& rowBg) {
  // The outline's right edge lies one pixel past the box's width.
  wxBitmap stamp(w + 1, m.yBoxBot - m.yBoxTop + 1);
  wxMemoryDC dc(stamp);
  dc.SetBackground(wxBrush(rowBg));
  dc.Clear();
  paint(dc, box, 0, w, -m.yBoxTop);
  return stamp;
}

void TboxStamps::paint(wxDC& dc, const TdisplayBox& box, int x, int w, int dy) {
  const int top = m.yBoxTop + dy, mid = m.yBoxMid + dy, bot = m.yBoxBot + dy;
  if (box.kind == 0) {
    images.draw(dc, box.text1, box.textColour1, box.fillColour1, x, top, w, bot - top + 1);
  } else if (box.kind == 1) {
    images.draw(dc, box.text1, box.textColour1, box.fillColour1, x, top, w, mid - top + 1);
    images.draw(dc, box.text2, box.textColour2, box.fillColour2, x, mid, w, bot - mid + 1);
  }
  dc.SetPen(wxPen(*wxBLACK, 1));
  if (box.kind == 1) dc.DrawLine(x, mid, x + w, mid);
  const wxPoint outline[] = {{x, top}, {x + w, top}, {x + w, bot}, {x, bot}, {x, top}};
  dc.DrawLines(5, outline);
}
