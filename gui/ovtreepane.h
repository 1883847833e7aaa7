// The tree view: drawn rows, one per visible row, with a scroll bar beside
// them. Scrolls by whole visible rows (bar, wheel, drag); a left click selects
// a row and shows it in the data and decode panes, a right click marks one,
// a double-click toggles a grouping row's user flag.
#pragma once

#include <wx/panel.h>
#include <wx/scrolbar.h>

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

 private:
  void onResize(wxSizeEvent& event);
  void onEraseBG(wxEraseEvent& event);
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
  void onSampleFileRead(const char* path);
  void onSampleFileSave(const char* path);
  void onExportPcap(const char* path);
  void onDoCapture();

  void scrollReset();
  void newData();
  // n visible rows on from topRow (back when negative), stopping at the last one there is.
  int stepVisible(int n);
  // The row on the screen line under y, or false when no line is there.
  bool rowAt(int y, int& row) const;
  void releaseMouse();

  int topRow = 0;
  int usedWidth = 0;
  int mouseX = 0, mouseY = 0;
  int paneWidth = 100, paneHeight = 100;
  int rowHt = 50;
  int scrollMax = 10;
  bool dragging = false;
  int wheelRotation = 0;  // partial notches from smooth-scrolling touchpads
  unsigned shownGeneration = 0;
  std::vector<int> screenRows;
  TreeScrollBarPane& scrollBar;
  TdataPane& dataPane;
  TdecodePane& decodePane;
  TrowCache rowCache;
  Tsubscription scrolled, visRowsChanged, sampleRead, sampleSave, exportPcap, doCapture;
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
