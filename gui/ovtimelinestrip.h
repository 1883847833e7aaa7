// The timeline strip above the tree: bus use over the capture's time as stacked
// bars (SOFs, handshakes, tokens and data), resets and suspends marked, errors
// as red ticks, and the rows on the tree's screen as a window on it. A click or
// a drag takes the tree there; the wheel zooms around the pointer, Shift+wheel
// moves along; the tooltip tells the time, the use and the errors under the
// pointer. Drawn from the capture's timeline alone, and again as a capture grows.
#pragma once

#include <wx/panel.h>

#include "ovsubscription.h"
#include "ovtimelineview.h"

class TreeMidPane;
class wxDC;

class TimelineStrip : public wxPanel {
 public:
  TimelineStrip(wxWindow* parent, TreeMidPane& tree);

  TtimelineView& view() { return shown; }
  // What a paint draws, into any dc of the strip's size.
  void draw(wxDC& dc);

 private:
  void onPaint(wxPaintEvent& event);
  void onMouseDown(wxMouseEvent& event);
  void onMouseMove(wxMouseEvent& event);
  void onMouseUp(wxMouseEvent& event);
  void onCaptureLost(wxMouseCaptureLostEvent& event);
  void onWheel(wxMouseEvent& event);

  const Tcapture& capture() const;
  // Takes the tree to the time under column x.
  void jumpTo(int x);
  // Ticks from the tree's top row to its last row on screen; false without rows.
  bool treeSpan(uint64_t& from, uint64_t& to) const;
  // The tree moved or the capture grew: the view keeps the tree's window in sight.
  void treeMoved();

  TreeMidPane& tree;
  TtimelineView shown;
  unsigned generation = ~0u;
  bool dragging = false;
  Tsubscription visRowsChanged, scrolled, status;
};
