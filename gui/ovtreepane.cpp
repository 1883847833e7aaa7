#include "ovtreepane.h"

#include <wx/dcbuffer.h>
#include <wx/dcclient.h>
#include <wx/sizer.h>
#include <wx/utils.h>

#include <algorithm>

#include "ovdatapane.h"
#include "ovdecodepane.h"
#include "ovglobs.h"
#include "ovgoto.h"
#include "ovstatustext.h"

namespace {

// The status bar follows a growing capture five times a second, not at every step of its
// decode: each change lays out the window again.
constexpr std::chrono::milliseconds statusPeriod{200};

TdisplFilters shownFilters() { return {_G.showSOFs, _G.showNAKs, _G.showPackets, _G.rowFilter}; }

}  // namespace

TreeScrollBarPane::TreeScrollBarPane(wxWindow* parent, int id)
    : wxScrollBar(parent, id, wxDefaultPosition, wxDefaultSize, wxSB_VERTICAL) {
  SetScrollbar(0, 16, 1016, 10);
  Bind(wxEVT_SCROLL_THUMBTRACK, &TreeScrollBarPane::onScroll, this);
  Bind(wxEVT_SCROLL_CHANGED, &TreeScrollBarPane::onScroll, this);
}

void TreeScrollBarPane::onScroll(wxScrollEvent&) {
  const int pos = GetThumbPosition();
  if (pos != lastPos) _G.pubSub.pub(topicScrolled, pos);
  lastPos = pos;
}

void TreeScrollBarPane::SetThumbPosition(int pos) {
  moveQuietly(pos);
  _G.pubSub.pub(topicScrolled, pos);
}

void TreeScrollBarPane::moveQuietly(int pos) {
  lastPos = pos;
  wxScrollBar::SetThumbPosition(pos);
}

TreeMidPane::TreeMidPane(wxWindow* parent, int id, TreeScrollBarPane& scrollBar, TdataPane& dataPane,
                         TdecodePane& decodePane)
    : wxPanel(parent, id, wxDefaultPosition, wxDefaultSize, wxFULL_REPAINT_ON_RESIZE | wxWANTS_CHARS),
      scrollBar(scrollBar),
      dataPane(dataPane),
      decodePane(decodePane),
      rowCache(shownFilters),
      scrolled(topicScrolled, [this](long row) { onScrolled(row); }),
      visRowsChanged(topicVisRowsChanged, [this](long) { onVisRowsChanged(); }),
      stepError(topicStepError, [this](long direction) { onStepError(static_cast<int>(direction)); }) {
  // The rows cover the whole pane: clearing it first would only cost a frame its time.
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  rowCache.init(parent, 1024);
  scrollReset();
  Bind(wxEVT_SIZE, &TreeMidPane::onResize, this);
  Bind(wxEVT_PAINT, &TreeMidPane::onPaint, this);
  Bind(wxEVT_MOUSEWHEEL, &TreeMidPane::onMouseWheel, this);
  Bind(wxEVT_LEFT_DOWN, &TreeMidPane::onMouseLeftDown, this);
  Bind(wxEVT_RIGHT_DOWN, &TreeMidPane::onMouseRightDown, this);
  Bind(wxEVT_MOTION, &TreeMidPane::onMouseMove, this);
  Bind(wxEVT_LEFT_DCLICK, &TreeMidPane::onMouseLeftDclk, this);
  Bind(wxEVT_LEFT_UP, &TreeMidPane::onMouseRelease, this);
  Bind(wxEVT_LEAVE_WINDOW, &TreeMidPane::onMouseRelease, this);
  Bind(wxEVT_MOUSE_CAPTURE_LOST, &TreeMidPane::onMouseCaptureLost, this);
  Bind(wxEVT_KEY_DOWN, &TreeMidPane::onKeyDown, this);
}

void TreeMidPane::zoom(int pointSize) {
  rowCache.zoom(pointSize);
  rowHt = rowCache.getRowHt();
  rowCache.setScreenLines(paneHeight / rowHt + 1);
  Refresh();
}

void TreeMidPane::onResize(wxSizeEvent& event) {
  paneWidth = event.GetSize().x;
  paneHeight = event.GetSize().y;
  rowHt = rowCache.getRowHt();
  rowCache.setScreenLines(paneHeight / rowHt + 1);
  event.Skip();
}

void TreeMidPane::onPaint(wxPaintEvent&) {
  wxBufferedPaintDC dc(this);
  screenRows.clear();
  int used = 0;
  dc.SetPen(*wxTRANSPARENT_PEN);
  for (int y = 0, row = topRow; paneHeight > 0 && y < paneHeight; y += rowHt) {
    int w = 0, h = 0;
    const Trow& drawn = rowCache.getRow(row, paneWidth);
    const wxBitmap& bitmap = drawn.getRowBitmap(w, h);
    used = std::max(used, w);
    // Only the boxes go to the screen as pixels; the rest of the line is filled there.
    const int boxes = std::min(drawn.boxesEnd(), paneWidth);
    if (boxes > 0) {
      dc.SetClippingRegion(0, y, boxes, h);
      dc.DrawBitmap(bitmap, 0, y);
      dc.DestroyClippingRegion();
    }
    if (boxes < paneWidth) {
      dc.SetBrush(wxBrush(drawn.background()));
      dc.DrawRectangle(boxes, y, paneWidth - boxes, h);
    }
    screenRows.push_back(row);
    row = rowCache.nextVisibleRow(row);
  }
  usedWidth = used;
}

void TreeMidPane::onScrolled(long row) {
  // Snap into the rows first: a thumb past the end must still show the last rows.
  const long last = rowCache.rowCount() - 1;
  setTop(last < 0 ? 0 : rowCache.nearestVisibleRow(static_cast<int>(std::clamp(row, 0L, last))));
  following = showsLastRow();
  Refresh();
}

void TreeMidPane::onVisRowsChanged() {
  if (rowCache.dataGeneration() != shownGeneration) newData();
  scrollReset();
}

void TreeMidPane::newData() {
  // The old top row and thumb are indices into the old capture.
  shownGeneration = rowCache.dataGeneration();
  setTop(0);
  following = true;
  scrollBar.moveQuietly(0);
  dataPane.clear();
  decodePane.render("");
}

void TreeMidPane::scrollReset() {
  rowCache.resetVisibleRows();
  rowCache.invalidateAll();
  setTop(std::max(rowCache.nearestVisibleRow(topRow), 0));
  fitScrollBar();
  showStatus(true);
  Refresh();
}

void TreeMidPane::fitScrollBar() {
  int r = rowCache.prevVisibleRow(rowCache.rowCount() - 1);
  for (int i = 0; i < 5; i++) r = rowCache.prevVisibleRow(r);
  scrollMax = std::max(r, 10);
  scrollBar.SetScrollbar(scrollBar.GetThumbPosition(), scrollBar.GetThumbSize(),
                         scrollMax + scrollBar.GetThumbSize(), scrollBar.GetPageSize());
}

void TreeMidPane::showCapture(std::shared_ptr<Tcapture> capture) {
  rowCache.showCapture(std::move(capture));
  _G.pubSub.pub(topicVisRowsChanged, 0);
}

void TreeMidPane::restoreShown(TdisplData::Tshown shown, int top, std::string from) {
  rowCache.restoreShown(std::move(shown));
  sourceText = std::move(from);
  _G.pubSub.pub(topicVisRowsChanged, 0);
  scrollBar.SetThumbPosition(top);
}

void TreeMidPane::rowsChanged(std::size_t firstChanged) {
  if (firstChanged >= static_cast<std::size_t>(rowCache.rowCount())) return;
  const int selected = rowCache.clickRow(0);
  rowCache.onRowsChanged(firstChanged);
  if (following) {
    setTop(lastScreenTop());
  } else if (static_cast<std::size_t>(topRow) >= firstChanged && topObj) {
    // The rows made again hold the same objects: the view stays on its top row's.
    setTop(std::max(rowCache.nearestVisibleRow(topObj->row), 0));
  }
  fitScrollBar();
  scrollBar.moveQuietly(topRow);
  if (selected >= 0 && static_cast<std::size_t>(selected) >= firstChanged) showSelected();
  Refresh();
}

void TreeMidPane::setTop(int row) {
  topRow = row;
  topObj = rowCache.getDisplRowPtr(row);
}

void TreeMidPane::setSource(std::string from, bool atOnce) {
  sourceText = std::move(from);
  showStatus(atOnce);
}

void TreeMidPane::showStatus(bool atOnce) {
  const auto now = std::chrono::steady_clock::now();
  if (!atOnce && now - statusShownAt < statusPeriod) return;
  statusShownAt = now;
  TstatusTexts texts = statusTexts(rowCache.shownCapture(), sourceText);
  texts.hidden = hiddenText(static_cast<std::size_t>(rowCache.rowCount() - rowCache.visibleRowCount()),
                            rowCache.filters().rows);
  texts.between = timeBetweenText(rowCache.shownCapture(), rowCache.clickRow(0), rowCache.clickRow(1));
  _G.pubSub.pub(topicStatus, texts);
  // Says how big the capture is when the pointer rests on the rows.
  SetToolTip(wxString::Format("%d rows, %d shown", rowCache.rowCount(), rowCache.visibleRowCount()));
}

bool TreeMidPane::showsLastRow() {
  int row = topRow;
  for (int line = 1; line < fullLines(); line++) {
    row = rowCache.nextVisibleRow(row);
    if (row < 0) return true;
  }
  return rowCache.nextVisibleRow(row) < 0;
}

int TreeMidPane::lastScreenTop() {
  int row = rowCache.nearestVisibleRow(rowCache.rowCount() - 1);
  if (row < 0) return 0;
  for (int line = 1; line < fullLines(); line++) {
    const int prev = rowCache.prevVisibleRow(row);
    if (prev < 0) break;
    row = prev;
  }
  return row;
}

int TreeMidPane::stepVisible(int row, int n) {
  for (int i = 0; i < std::abs(n); i++) {
    const int next = n > 0 ? rowCache.nextVisibleRow(row) : rowCache.prevVisibleRow(row);
    if (next < 0) break;
    row = next;
  }
  return row;
}

bool TreeMidPane::rowAt(int y, int& row) const {
  const int line = y / rowHt;
  if (y < 0 || line >= static_cast<int>(screenRows.size())) return false;
  row = screenRows[line];
  return true;
}

void TreeMidPane::onMouseLeftDown(wxMouseEvent& event) {
  if (!HasCapture()) CaptureMouse();
  dragging = true;
  mouseX = event.GetX();
  mouseY = event.GetY();
  SetFocus();  // for the keys
  int row = -1;
  if (rowAt(mouseY, row)) {
    // Shift+click marks a second row: the status bar tells the time between the two.
    rowCache.setClickRow(event.ShiftDown() && rowCache.clickRow(0) >= 0 ? 1 : 0, row);
    Refresh();
    if (row >= 0 && !event.ShiftDown()) showSelected();
    showStatus(true);
  }
  event.Skip();
}

void TreeMidPane::selectRow(int row) {
  row = rowCache.nearestVisibleRow(row);
  if (row < 0) return;
  rowCache.setClickRow(0, row);
  const int lastLine = stepVisible(topRow, fullLines() - 1);
  // A row just off the screen scrolls by a line; a far one comes a third down the screen.
  int top = topRow;
  if (row < topRow)
    top = row == rowCache.prevVisibleRow(topRow) ? row : stepVisible(row, -fullLines() / 3);
  else if (row > lastLine)
    top = row == rowCache.nextVisibleRow(lastLine) ? rowCache.nextVisibleRow(topRow)
                                                   : stepVisible(row, -fullLines() / 3);
  if (top != topRow) scrollBar.SetThumbPosition(top);
  showSelected();
  showStatus(true);
  Refresh();
}

void TreeMidPane::highlightBytes(std::size_t first, std::size_t count) { dataPane.highlight(first, count); }

void TreeMidPane::onKeyDown(wxKeyEvent& event) {
  if (event.HasAnyModifiers()) return event.Skip();
  const int selected = rowCache.clickRow(0);
  const int page = std::max(fullLines() - 1, 1);
  int row = selected >= 0 ? selected : topRow;
  switch (event.GetKeyCode()) {
    case WXK_UP:
      row = selected >= 0 ? stepVisible(row, -1) : row;
      break;
    case WXK_DOWN:
      row = selected >= 0 ? stepVisible(row, 1) : row;
      break;
    case WXK_PAGEUP:
    case WXK_PAGEDOWN: {
      // The screen moves with the selection, which keeps its line.
      const int n = event.GetKeyCode() == WXK_PAGEUP ? -page : page;
      scrollBar.SetThumbPosition(stepVisible(topRow, n));
      row = stepVisible(row, n);
      break;
    }
    case WXK_HOME:
      row = rowCache.nearestVisibleRow(0);
      break;
    case WXK_END:
      row = rowCache.nearestVisibleRow(rowCache.rowCount() - 1);
      break;
    default:
      return event.Skip();
  }
  selectRow(row);
}

void TreeMidPane::setExternalDevices(std::shared_ptr<const TexternalDevices> devices) {
  rowCache.setExternalDevices(std::move(devices));
  rowCache.invalidateAll();
  if (rowCache.clickRow(0) >= 0) showSelected();
  Refresh(false);
}

void TreeMidPane::showSelected() {
  const int row = rowCache.clickRow(0);
  dataPane.renderPacket(rowCache.getData(row));
  decodePane.render(rowCache.getRowDecode(row));
}

void TreeMidPane::onStepError(int direction) {
  // From the selected row, else from the top of the screen.
  int from = rowCache.clickRow(0);
  if (from < 0) from = direction > 0 ? topRow - 1 : topRow;
  const int row = rowCache.nextErrorRow(from, direction);
  if (row < 0) return wxBell();
  selectRow(row);
}

void TreeMidPane::onMouseRightDown(wxMouseEvent& event) {
  int row = -1;
  if (!rowAt(event.GetY(), row)) return;
  rowCache.setClickRow(1, row);
  showStatus(true);
  Refresh();
}

void TreeMidPane::onMouseLeftDclk(wxMouseEvent& event) {
  int row = -1;
  if (rowAt(event.GetY(), row) && rowCache.doubleClick(row)) scrollReset();
  event.Skip();
}

void TreeMidPane::onMouseMove(wxMouseEvent& event) {
  if (!dragging) return;
  const int d = mouseY - event.GetY();
  if (rowHt > std::abs(d)) return;  // slow drags accumulate
  scrollBar.SetThumbPosition(stepVisible(topRow, d / rowHt));
  mouseY = event.GetY();
}

void TreeMidPane::onMouseWheel(wxMouseEvent& event) {
  if (event.GetWheelAxis() != wxMOUSE_WHEEL_VERTICAL) return;
  wheelRotation += event.GetWheelRotation();
  const int delta = std::max(event.GetWheelDelta(), 1);
  const int notches = wheelRotation / delta;
  if (notches == 0) return;
  wheelRotation -= notches * delta;
  const bool onlyCtrl = event.ControlDown() && !event.AltDown() && !event.MetaDown();
  const int rows = onlyCtrl && event.ShiftDown() ? 125 : onlyCtrl ? 25 : 1;
  // A negative rotation (wheel towards the user) moves on to later rows.
  scrollBar.SetThumbPosition(stepVisible(topRow, -notches * rows));
}

void TreeMidPane::releaseMouse() {
  if (HasCapture()) ReleaseMouse();
  dragging = false;
}

void TreeMidPane::onMouseRelease(wxMouseEvent& event) {
  releaseMouse();
  event.Skip();
}

void TreeMidPane::onMouseCaptureLost(wxMouseCaptureLostEvent&) { dragging = false; }

TreePane::TreePane(wxWindow* parent, TdataPane& dataPane, TdecodePane& decodePane)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxNO_BORDER) {
  scrollBar = new TreeScrollBarPane(this, wxID_ANY);
  midPane = new TreeMidPane(this, wxID_ANY, *scrollBar, dataPane, decodePane);
  auto* sizer = new wxBoxSizer(wxHORIZONTAL);
  sizer->Add(midPane, 1, wxEXPAND);
  sizer->Add(scrollBar, 0, wxEXPAND | wxLEFT, 0);
  SetSizerAndFit(sizer);
}

void TreePane::zoom(int pointSize) { midPane->zoom(pointSize); }
