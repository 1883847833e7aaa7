#include <gtest/gtest.h>
#include <wx/image.h>

#include "ovrcache.h"
#include "support/objects.h"

namespace {

std::shared_ptr<Tcapture> tokenRows(int n) {
  auto rows = std::make_shared<Tcapture>();
  for (int i = 0; i < n; i++) rows->appendRoot(token(pidIn, i % 128, 0));
  return rows;
}

// Colours as "rgb(r, g, b)", so failures say which.
std::string css(const wxColour& c) { return c.GetAsString(wxC2S_CSS_SYNTAX).ToStdString(); }
std::string pixel(const wxImage& image, int x, int y) {
  return css(wxColour(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)));
}
std::string fromBGR(uint64_t c) { return css(wxColour(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff)); }
// Outlines are black; the rasteriser may blend their corners a little.
bool dark(const wxImage& image, int x, int y) {
  return image.GetRed(x, y) < 48 && image.GetGreen(x, y) < 48 && image.GetBlue(x, y) < 48;
}

}  // namespace

TEST(RowDrawing, BackgroundsBoxesAndBorders) {
  TrowCache cache;
  cache.showCapture(tokenRows(3));
  const TrowMetrics& m = cache.metrics();
  ASSERT_GT(m.fontWid, 3);
  cache.setClickRow(0, 1);
  cache.setClickRow(1, 2);
  for (auto [ix, bg] : {std::pair{0, rowPlainBg}, {1, rowSelectedBg}, {2, rowMarkedBg}, {7, rowPlainBg}}) {
    int w = 0, h = 0;
    const wxImage image = cache.getRowBitmap(ix, 600, w, h).ConvertToImage();
    EXPECT_EQ(h, m.rowHt);
    EXPECT_EQ(image.GetWidth(), 700) << "100 pixels spare";
    EXPECT_EQ(pixel(image, 3, m.rowHt / 2), css(bg)) << ix;
    EXPECT_EQ(pixel(image, image.GetWidth() - 2, 1), css(bg)) << ix;
  }

  // Walk the generator's boxes: each starts after its gap, spans its cells,
  // is outlined in black and filled with its colour.
  int w = 0, h = 0;
  const wxImage image = cache.getRowBitmap(0, 600, w, h).ConvertToImage();
  const std::vector<TdisplayBox> boxes = *cache.genRowBoxes(0);
  ASSERT_GE(boxes.size(), 3u);
  int x = 8;
  for (const TdisplayBox& box : boxes) {
    x += box.gap;
    ASSERT_GT(box.width, 0) << "token boxes have fixed widths";
    const int right = x + box.width * m.fontWid;
    SCOPED_TRACE(box.text1);
    EXPECT_TRUE(dark(image, x, m.yBoxBot)) << pixel(image, x, m.yBoxBot);
    EXPECT_TRUE(dark(image, right, m.yBoxTop)) << pixel(image, right, m.yBoxTop);
    EXPECT_TRUE(dark(image, right, m.yBoxBot)) << pixel(image, right, m.yBoxBot);
    if (box.kind == 1) {
      EXPECT_EQ(pixel(image, x + 1, m.yBoxTop + 1), fromBGR(box.fillColour1));
      EXPECT_EQ(pixel(image, x + 1, m.yBoxBot - 1), fromBGR(box.fillColour2));
      EXPECT_TRUE(dark(image, (x + right) / 2, m.yBoxMid)) << "the bar between the halves";
    } else {
      EXPECT_EQ(pixel(image, x + 1, m.yBoxMid), fromBGR(box.fillColour1));
    }
    x = right;
  }
  EXPECT_EQ(w, x + 125);
  EXPECT_EQ(pixel(image, x + 3, m.rowHt / 2), css(rowPlainBg));

  // A box as wide as its longer text holds it whole, in its middle: the payload's box.
  auto payload = std::make_shared<Tcapture>();
  payload->appendRoot(data(pidData0, {0x12, 0x01, 0x00, 0x02, 0xff}));
  TrowCache payloadRow;
  payloadRow.showCapture(payload);
  const wxImage varImage = payloadRow.getRowBitmap(0, 600, w, h).ConvertToImage();
  int left = 8;
  for (const TdisplayBox& box : *payloadRow.genRowBoxes(0)) {
    left += box.gap;
    if (box.width < 0) break;
    left += box.width * m.fontWid;
  }
  int right = left + 1;
  while (right < varImage.GetWidth() && !dark(varImage, right, m.yBoxTop + 1)) right++;
  int first = right, last = left;
  for (int x = left + 1; x < right; x++)
    for (int y = m.yBoxTop + 1; y < m.yBoxMid; y++)
      if (varImage.GetGreen(x, y) > 128) first = std::min(first, x), last = std::max(last, x);
  ASSERT_LT(first, last) << "white text on red";
  EXPECT_GE(first - left, m.fontWid / 2);
  EXPECT_GE(right - last, m.fontWid / 2);
  EXPECT_LE(std::abs((first - left) - (right - last)), 3) << first - left << " " << right - last;

  // Hidden rows are plain and have no decode text.
  TrowCache hidden([] { return TdisplFilters{false, false, false, {}}; });
  hidden.showCapture(tokenRows(1));
  const wxImage plain = hidden.getRowBitmap(0, 600, w, h).ConvertToImage();
  EXPECT_EQ(w, 8);
  EXPECT_EQ(pixel(plain, 20, m.yBoxMid), css(rowPlainBg));
  EXPECT_EQ(hidden.getRowDecode(0), "");
}

// Boxes seen before are copied from kept images of the whole box: a row drawn that way must
// equal the row drawn box by box, on every background.
TEST(RowDrawing, RowsFromKeptBoxesEqualRowsDrawnFirst) {
  auto sofs = std::make_shared<TsofGroup>();
  for (int i = 0; i < 3; i++) sofs->children.push_back(packet<Tsof>(pidSof));
  auto rows = std::make_shared<Tcapture>();
  rows->appendRoot(transax(TtrxType::IN, {token(pidIn, 12, 1), data(pidData1, {0x12, 0x01, 0x00, 0x02, 0xff}),
                                          packet<Thandshake>(pidAck)}));
  rows->appendRoot(sofs);
  const auto pixels = [](TrowCache& cache, int ix) {
    int w = 0, h = 0;
    const wxImage image = cache.getRowBitmap(ix, 600, w, h).ConvertToImage();
    return std::string(reinterpret_cast<const char*>(image.GetData()),
                       image.GetWidth() * image.GetHeight() * 3);
  };
  const auto allRows = [&](TrowCache& cache) {
    std::vector<std::string> drawn;
    for (int ix = 0; ix < cache.rowCount(); ix++) drawn.push_back(pixels(cache, ix));
    cache.invalidateAll();
    return drawn;
  };
  TrowCache cache([] { return TdisplFilters{true, true, true, {}}; });
  cache.showCapture(rows);
  ASSERT_EQ(cache.rowCount(), 8);
  const std::vector<std::string> first = allRows(cache);
  const auto before = cache.counts.allocs;
  EXPECT_TRUE(allRows(cache) == first);
  EXPECT_TRUE(allRows(cache) == first) << "boxes kept at their third showing";
  EXPECT_TRUE(allRows(cache) == first) << "boxes copied from what was kept";
  EXPECT_EQ(cache.counts.allocs, before + 3 * cache.rowCount()) << "drawn again each time";

  // Selected and marked rows: their own kept boxes, never those of plain rows.
  cache.setClickRow(0, 0);
  cache.setClickRow(1, 4);
  TrowCache fresh([] { return TdisplFilters{true, true, true, {}}; });
  fresh.showCapture(rows);
  fresh.setClickRow(0, 0);
  fresh.setClickRow(1, 4);
  const std::vector<std::string> highlighted = allRows(fresh);
  for (int pass = 0; pass < 4; pass++) EXPECT_TRUE(allRows(cache) == highlighted) << pass;
  EXPECT_FALSE(highlighted[0] == first[0]);
}

// Clicks redraw the old and the new row; selected wins over marked; rows made again are drawn
// again, the clicked ones followed to their objects' new rows; new data forgets them.
TEST(RowCache, ClickedAndChangedRowsAreDrawnAgain) {
  TrowCache cache;
  auto rows = tokenRows(100);
  cache.showCapture(rows);
  EXPECT_EQ(cache.setClickRow(0, 3), -1);
  EXPECT_EQ(cache.setClickRow(1, 3), -1);
  EXPECT_EQ(cache.hiLightIx(3), 0);
  for (int ix : {3, 4, 6}) cache.getRow(ix, 500);
  const auto clicks = cache.counts;
  EXPECT_EQ(cache.setClickRow(0, 4), 3);
  for (int ix : {3, 4, 6}) cache.getRow(ix, 500);
  EXPECT_EQ(cache.counts.allocs, clicks.allocs + 2);
  EXPECT_EQ(cache.hiLightIx(3), 1);

  // A row comes in at 4: the rows from there on are made again, one further on.
  Tcapture grownRows;
  for (size_t ix = 0; ix < rows->rootCount(); ix++) {
    if (ix == 4) grownRows.appendRoot(token(pidOut, 1, 0));
    grownRows.appendRoot(rows->root(ix));
  }
  rows->swap(grownRows);
  cache.onRowsChanged(4);
  const auto grown = cache.counts;
  for (int ix : {3, 4, 6}) cache.getRow(ix, 500);
  EXPECT_EQ(cache.counts.hits, grown.hits + 1);
  EXPECT_EQ(cache.counts.allocs, grown.allocs + 2);
  EXPECT_EQ(cache.clickRow(0), 5);
  EXPECT_EQ(cache.clickRow(1), 3);
  EXPECT_EQ(cache.nextVisibleRow(100), -1) << "the new row is visible and counted";
  EXPECT_EQ(cache.visibleRowCount(), 101);

  cache.showCapture(tokenRows(2));
  EXPECT_EQ(cache.clickRow(0), -1);
  EXPECT_EQ(cache.clickRow(1), -1);
}
