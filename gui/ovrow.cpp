#include "ovrow.h"

#include <algorithm>

const wxColour rowSelectedBg(255, 192, 203), rowMarkedBg(173, 216, 230), rowPlainBg(232, 232, 232);

namespace {

const wxColour& highlightBg(int highlight) {
  return highlight == 0 ? rowSelectedBg : highlight == 1 ? rowMarkedBg : rowPlainBg;
}

}  // namespace

Trow::Trow(TdisplData& data, const wxFont& font, TboxImages& images, TboxStamps& stamps,
           const TrowMetrics& metrics, int ix, int width, int highlight)
    : ix(ix),
      bmWidth(std::max(width, 1)),
      m(metrics),
      images(images),
      stamps(stamps),
      bg(highlightBg(highlight)),
      bitmap(bmWidth, metrics.rowHt) {
  wxMemoryDC dc(bitmap);
  dc.SetFont(font);
  dc.SetBackground(wxBrush(bg));
  dc.Clear();
  visible = data.isVisible(ix);
  if (!visible) return;
  for (const TdisplayBox& box : *data.genRowBoxes(ix)) drawBox(dc, box);
  boxesRight = fx + 1;  // the last outline's right edge
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

void Trow::drawBox(wxDC& dc, const TdisplayBox& box) {
  gap(box.gap);
  int w = m.fontWid * box.width;
  if (box.kind == 1 && box.width < 0)
    w = std::max(images.textWidth(box.text1), images.textWidth(box.text2)) + 2 * m.fontWid;
  stamps.draw(dc, box, fx, w, bg);
  fx += w;
}
