#include "ovrow.h"

#include <algorithm>

const wxColour rowSelectedBg(255, 192, 203), rowMarkedBg(173, 216, 230), rowPlainBg(232, 232, 232);

Trow::Trow(TdisplData& data, const wxFont& font, TboxImages& images, const TrowMetrics& metrics, int ix,
           int width, int highlight)
    : ix(ix), bmWidth(std::max(width, 1)), m(metrics), images(images), bitmap(bmWidth, metrics.rowHt) {
  wxMemoryDC dc(bitmap);
  dc.SetFont(font);
  clearBM(dc, highlight == 0 ? rowSelectedBg : highlight == 1 ? rowMarkedBg : rowPlainBg);
  visible = data.isVisible(ix);
  if (!visible) return;
  for (const TdisplayBox& box : *data.genRowBoxes(ix)) drawBox(dc, box);
  gap(125);
}

const std::string& Trow::getDecode(TdisplData& data) {
  if (!decode) decode = visible ? data.genRowDecode(ix) : "";
  return *decode;
}

const wxBitmap& Trow::getRowBitmap(int& w, int& h) const {
  w = fx;
  h = m.rowHt;
  return bitmap;
}

void Trow::clearBM(wxDC& dc, const wxColour& colour) {
  dc.SetBackground(wxBrush(colour));
  dc.Clear();
}

void Trow::borderRect(wxDC& dc, int x1, int y1, int x2, int y2) {
  dc.SetPen(wxPen(*wxBLACK, 1));
  const wxPoint outline[] = {{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}, {x1, y1}};
  dc.DrawLines(5, outline);
}

void Trow::midHbar(wxDC& dc) {
  dc.SetPen(wxPen(*wxBLACK, 1));
  dc.DrawLine(fx, m.yBoxMid, fxRight, m.yBoxMid);
}

void Trow::textBox(wxDC& dc, const wxRect& rect, uint64_t textColour, uint64_t fillColour,
                   const std::string& text) {
  dc.DrawBitmap(images.get(text, textColour, fillColour, rect.width, rect.height), rect.x, rect.y);
}

void Trow::drawBox(wxDC& dc, const TdisplayBox& box) {
  gap(box.gap);
  int w = m.fontWid * box.width;
  if (box.kind == 0) {
    fxRight = fx + w;
    textBox(dc, wxRect(fx, m.yBoxTop, w, m.yBoxBot - m.yBoxTop + 1), box.textColour1, box.fillColour1,
            box.text1);
  } else if (box.kind == 1) {
    if (box.width < 0)
      w = std::max(images.textWidth(dc, box.text1), images.textWidth(dc, box.text2)) + 2 * m.fontWid;
    fxRight = fx + w;
    textBox(dc, wxRect(fx, m.yBoxTop, w, m.yBoxMid - m.yBoxTop + 1), box.textColour1, box.fillColour1,
            box.text1);
    textBox(dc, wxRect(fx, m.yBoxMid, w, m.yBoxBot - m.yBoxMid + 1), box.textColour2, box.fillColour2,
            box.text2);
    midHbar(dc);
  }
  borderRect(dc, fx, m.yBoxTop, fx + w, m.yBoxBot);
  fx += w;
}
