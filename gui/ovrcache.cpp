#include "ovrcache.h"

#include <wx/dcmemory.h>

#include <algorithm>

TrowCache::TrowCache(std::function<TdisplFilters()> filters)
    : TdisplData(std::move(filters)), font(*wxNORMAL_FONT) {
  measure();
  setWidth(1024);
}

void TrowCache::measure() {
  wxBitmap scratch(8, 8);
  wxMemoryDC dc(scratch);
  dc.SetFont(font);
  const wxSize x = dc.GetTextExtent("X");
  m = TrowMetrics::fromCharSize(x.x, x.y);
  boxImages.setFont(font);
}

void TrowCache::init(wxWindow* window, int width) {
  invalidateAll();
  font = window->GetFont();
  measure();
  setWidth(width);
}

void TrowCache::zoom(int pointSize) {
  font.SetPointSize(pointSize);
  measure();
  invalidateAll();
}

void TrowCache::setWidth(int w) {
  cacheWidth = w;
  invalidateAll();
}

void TrowCache::setScreenLines(int lines) { screenLines = std::max(lines, 0); }

std::size_t TrowCache::capacity() const { return std::max(32, screenLines + 8); }

void TrowCache::invalidateRow(int ix) {
  if (ix >= 0) cache.remove_if([ix](const Trow& row) { return row.ix == ix; });
}

void TrowCache::invalidateAll() { cache.clear(); }

int TrowCache::hiLightIx(int ix) const {
  if (ix < 0) return -1;
  if (ix == clicked[0]) return 0;
  return ix == clicked[1] ? 1 : -1;
}

int TrowCache::setClickRow(int which, int ix) {
  if (static_cast<unsigned>(which) > 1) return -1;
  const int previous = clicked[which];
  clicked[which] = ix;
  clickedObj[which] = getDisplRowPtr(ix);
  invalidateRow(previous);
  invalidateRow(ix);
  return previous;
}

Trow& TrowCache::getRow(int ix, int width) {
  if (width > 0) lastWidth = width;
  auto found = std::find_if(cache.begin(), cache.end(), [ix](const Trow& row) { return row.ix == ix; });
  if (found != cache.end()) {
    if (width <= found->bmWidth) {
      counts.hits++;
      cache.splice(cache.begin(), cache, found);
      return cache.front();
    }
    cache.erase(found);
    counts.deletes++;
  }
  if (cache.size() >= capacity()) {
    cache.pop_back();
    counts.lruDeletes++;
  }
  counts.allocs++;
  cache.emplace_front(*this, font, boxImages, m, ix, width + 100, hiLightIx(ix));
  return cache.front();
}

const wxBitmap& TrowCache::getRowBitmap(int ix, int width, int& w, int& h) {
  return getRow(ix, width).getRowBitmap(w, h);
}

std::string TrowCache::getRowDecode(int ix) { return getRow(ix, lastWidth).getDecode(*this); }

void TrowCache::newData() {
  for (int which : {0, 1}) {
    clicked[which] = -1;
    clickedObj[which] = nullptr;
  }
  invalidateAll();
  generation++;
}

unsigned TrowCache::onSampleFileRead(const std::string& path) {
  const unsigned adopted = sampleFileRead(path);
  if (adopted) newData();
  return adopted;
}

void TrowCache::showCapture(std::shared_ptr<Tcapture> capture) {
  show(std::move(capture));
  newData();
}

void TrowCache::restoreShown(Tshown shown) {
  restore(std::move(shown));
  newData();
}

void TrowCache::onRowsChanged(std::size_t firstChanged) {
  rowsChanged(firstChanged);
  const auto changed = [firstChanged](int ix) {
    return ix >= 0 && static_cast<std::size_t>(ix) >= firstChanged;
  };
  cache.remove_if([&](const Trow& row) { return changed(row.ix); });
  for (int which : {0, 1}) {
    if (!changed(clicked[which])) continue;
    // The rows made again hold the same objects, each at its new row.
    const int now = clickedObj[which] ? clickedObj[which]->row : -1;
    clicked[which] = getDisplRowPtr(now) == clickedObj[which] ? now : -1;
    if (clicked[which] < 0) clickedObj[which] = nullptr;
  }
}
