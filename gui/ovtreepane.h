// The tree view: drawn rows, one per visible row, with a scroll bar beside
// them. Scrolls by whole visible rows (bar, wheel, drag); a left click selects
// a row and shows it in the data and decode panes, a right click or a
// shift+click marks one, a double-click toggles a grouping row's user flag.
// Up/Down, Page Up/Down, Home and End move the selection. A capture is shown as it
// is decoded, following its end unless the user has scrolled away from it.
#pragma once

#include <wx/panel.h>
#include <wx/scrolbar.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "ovrcache.h"
#include "ovsubscription.h"

class TdataPane;
class TdecodePane;

class TreeScrollBarPane : public wxScrollBar {
 public:
  TreeScrollBarPane(wxWindow* parent, int id);
  // Moves the thumb and always publishes the new top row.
  void SetThumbPosition(int pos) override;
  // Moves the thumb without publishing (new data puts it back to 0).
  void moveQuietly(int pos);

 private:
  void onScroll(wxScrollEvent& event);
  int lastPos = -1;
};

class TreeMidPane : public wxPanel {
 public:
  TreeMidPane(wxWindow* parent, int id, TreeScrollBarPane& scrollBar, TdataPane& dataPane,
              TdecodePane& decodePane);

  void zoom(int pointSize);
  TrowCache& cache() { return rowCache; }
  int top() const { return topRow; }
  int lastScrollRow() const { return scrollMax; }
  // The row drawn on each screen line at the last paint, -1 past the last row.
  const std::vector<int>& lineRows() const { return screenRows; }
  // Whether rows that arrive scroll the view, so that the last row stays on screen.
  bool followsEnd() const { return following; }
  // -1 when no row is selected.
  int selectedRow() const { return rowCache.clickRow(0); }
  // Selects a visible row, scrolls it on screen and shows it in the data and decode panes.
  void selectRow(int row);
  // Puts a row (the nearest visible one) at the top, as the scroll bar does.
  void scrollToRow(int row) { scrollBar.SetThumbPosition(row); }
  // Marks bytes of the selected row's data in the data pane.
  void highlightBytes(std::size_t first, std::size_t count);

  // A capture being decoded, with no rows yet: new data, followed as it grows.
  void showCapture(std::shared_ptr<Tcapture> capture);
  // The rows from firstChanged on are new or made again.
  void rowsChanged(std::size_t firstChanged);
  // What is shown, taken away with its place and its source; shown again by restoreShown.
  TdisplData::Tshown takeShown() { return rowCache.takeShown(); }
  void restoreShown(TdisplData::Tshown shown, int top, std::string from);
  // Where the rows come from, for the status bar: shown at once, or with the next update
  // when it changes many times a second.
  const std::string& source() const { return sourceText; }
  void setSource(std::string from, bool atOnce);
  // Descriptors from outside the capture changed: the decode texts are made again.
  void setExternalDevices(std::shared_ptr<const TexternalDevices> devices);

 private:
  void onResize(wxSizeEvent& event);
  void onPaint(wxPaintEvent& event);
  void onScrolled(long row);
  void onVisRowsChanged();
  void onMouseLeftDown(wxMouseEvent& event);
  void onMouseRightDown(wxMouseEvent& event);
  void onMouseLeftDclk(wxMouseEvent& event);
  void onMouseMove(wxMouseEvent& event);
  void onMouseWheel(wxMouseEvent& event);
  void onMouseRelease(wxMouseEvent& event);
  void onMouseCaptureLost(wxMouseCaptureLostEvent& event);
  void onKeyDown(wxKeyEvent& event);
  void onStepError(int direction);

  void setTop(int row);
  void scrollReset();
  void fitScrollBar();
  void newData();
  void showSelected();
  void showStatus(bool atOnce);
  // Whether the screen from topRow on reaches the last visible row.
  bool showsLastRow();
  // The top row that puts the last visible row on the screen's last full line.
  int lastScreenTop();
  int fullLines() const { return std::max(1, paneHeight / rowHt); }
  // n visible rows on from row (back when negative), stopping at the last one there is.
  int stepVisible(int row, int n);
  // The row on the screen line under y, or false when no line is there.
  bool rowAt(int y, int& row) const;
  void releaseMouse();

  int topRow = 0;
  // The top row's object: where the top row is once the rows are made again.
  std::shared_ptr<Tbase> topObj;
  int usedWidth = 0;
  int mouseX = 0, mouseY = 0;
  int paneWidth = 100, paneHeight = 100;
  int rowHt = 50;
  int scrollMax = 10;
  bool dragging = false;
  int wheelRotation = 0;  // partial notches from smooth-scrolling touchpads
  unsigned shownGeneration = 0;
  bool following = true;
  std::string sourceText;
  std::chrono::steady_clock::time_point statusShownAt;
  std::vector<int> screenRows;
  TreeScrollBarPane& scrollBar;
  TdataPane& dataPane;
  TdecodePane& decodePane;
  TrowCache rowCache;
  Tsubscription scrolled, visRowsChanged, stepError;
};

class TreePane : public wxPanel {
 public:
  TreePane(wxWindow* parent, TdataPane& dataPane, TdecodePane& decodePane);
  void zoom(int pointSize);
  TreeMidPane& mid() { return *midPane; }
  TreeScrollBarPane& bar() { return *scrollBar; }

 private:
  TreeMidPane* midPane;
  TreeScrollBarPane* scrollBar;
};
