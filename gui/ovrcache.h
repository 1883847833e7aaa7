// The display model plus the most recently drawn rows, so that scrolling and
// repainting reuse bitmaps instead of running the box generator and the
// decode scripts again. Also holds the row font and the two clicked rows.
#pragma once

#include <wx/font.h>
#include <wx/window.h>

#include <list>
#include <string>

#include "ovdispldata.h"
#include "ovrow.h"

class TrowCache : public TdisplData {
 public:
  explicit TrowCache(std::function<TdisplFilters()> filters = [] { return TdisplFilters{}; });

  // Takes the window's font and measures it; empties the cache.
  void init(wxWindow* window, int width);
  void zoom(int pointSize);
  int getRowHt() const { return m.rowHt; }
  const TrowMetrics& metrics() const { return m; }
  const wxFont& rowFont() const { return font; }

  void setWidth(int w);
  // Keeps every line of a tall screen cached while it scrolls.
  void setScreenLines(int lines);
  std::size_t capacity() const;

  void invalidateRow(int ix);
  void invalidateAll();

  // 0 for the selected row, 1 for the marked row, else -1.
  int hiLightIx(int ix) const;
  // which: 0 select, 1 mark; returns the previous row, -1 for a bad which.
  int setClickRow(int which, int ix);
  int clickRow(int which) const { return clicked[which & 1]; }

  // A row drawn at least `width` wide (100 pixels spare), most recently used first.
  Trow& getRow(int ix, int width);
  const wxBitmap& getRowBitmap(int ix, int width, int& w, int& h);
  // Kept with the row as painted, so a click does not draw it again.
  std::string getRowDecode(int ix);

  // New data from a sample file: cache and clicked rows cleared. Returns the number of rows
  // adopted, 0 when the old data stays.
  unsigned onSampleFileRead(const std::string& path);
  // A capture that is being decoded, its rows empty yet: new data too.
  void showCapture(std::shared_ptr<Tcapture> capture);
  // Data taken away by takeShown(): new data too.
  void restoreShown(Tshown shown);
  // The rows from firstChanged on are new or made again: their drawn rows go, and a clicked
  // one among them follows its object to where it is now.
  void onRowsChanged(std::size_t firstChanged);
  // Rises with every adoption, so viewers can tell new data from a filter change.
  unsigned dataGeneration() const { return generation; }

  struct Tcounts {
    unsigned long allocs = 0, hits = 0, deletes = 0, lruDeletes = 0;
  } counts;

 private:
  void measure();
  void newData();

  std::list<Trow> cache;
  int cacheWidth = 1024;
  int lastWidth = 0;  // of the latest paint, so decode texts come from painted rows
  int screenLines = 0;
  wxFont font;
  TboxImages boxImages;
  TrowMetrics m;
  int clicked[2] = {-1, -1};
  std::shared_ptr<Tbase> clickedObj[2];
  unsigned generation = 0;
};
