#include "ovtimelinestrip.h"

#include <wx/dcbuffer.h>
#include <wx/image.h>

#include <algorithm>
#include <vector>

#include "ovstatustext.h"
#include "ovtreepane.h"

namespace {

constexpr int stripHeight = 52;
constexpr int tickBand = 5;  // error ticks above the bars
constexpr int suspendBand = 3;
constexpr double panPart = 0.1;  // of the span, per Shift+wheel notch

struct Trgb {
  unsigned char r, g, b;
};
constexpr Trgb background{244, 244, 244}, sofColour{150, 150, 150}, handshakeColour{60, 170, 80},
    dataColour{60, 110, 210}, errorColour{220, 20, 20}, resetColour{255, 150, 0}, suspendColour{150, 80, 200};

}  // namespace

TimelineStrip::TimelineStrip(wxWindow* parent, TreeMidPane& tree)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxSize(-1, stripHeight),
              wxNO_BORDER | wxFULL_REPAINT_ON_RESIZE),
      tree(tree),
      visRowsChanged(topicVisRowsChanged,
                     [this](long) {
                       if (this->tree.cache().dataGeneration() != generation) {
                         generation = this->tree.cache().dataGeneration();
                         shown.showAll();
                       }
                       treeMoved();
                     }),
      scrolled(topicScrolled, [this](long) { treeMoved(); }),
      status(topicStatus, [this](const TstatusTexts&) { treeMoved(); }) {
  SetMinSize(wxSize(-1, stripHeight));
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetToolTip("Bus use over time");
  Bind(wxEVT_PAINT, &TimelineStrip::onPaint, this);
  Bind(wxEVT_LEFT_DOWN, &TimelineStrip::onMouseDown, this);
  Bind(wxEVT_MOTION, &TimelineStrip::onMouseMove, this);
  Bind(wxEVT_LEFT_UP, &TimelineStrip::onMouseUp, this);
  Bind(wxEVT_MOUSE_CAPTURE_LOST, &TimelineStrip::onCaptureLost, this);
  Bind(wxEVT_MOUSEWHEEL, &TimelineStrip::onWheel, this);
}

const Tcapture& TimelineStrip::capture() const { return tree.cache().shownCapture(); }

void TimelineStrip::onPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  draw(dc);
}

void TimelineStrip::draw(wxDC& dc) {
  const wxSize size = GetClientSize();
  const int width = std::max(size.x, 1), height = std::max(size.y, tickBand + suspendBand + 1);
  const Ttimeline& timeline = capture().timeline();
  shown.setWidth(width);
  shown.setFrames(timeline.frameCount());

  // Every pixel is set here, a column at a time, and goes to the screen as one bitmap.
  std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
  const auto put = [&](int x, int y0, int y1, Trgb c) {
    for (int y = std::max(y0, 0); y < std::min(y1, height); ++y) {
      unsigned char* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      p[0] = c.r;
      p[1] = c.g;
      p[2] = c.b;
    }
  };
  const int barsHeight = height - tickBand;
  for (int x = 0; x < width; ++x) {
    put(x, 0, height, background);
    uint64_t from = 0, to = 0;
    shown.columnFrames(x, from, to);
    if (from >= timeline.frameCount()) continue;
    const TtimelineSpan sum = timeline.span(from, to);
    if (sum.marks & timelineReset) put(x, tickBand, height, resetColour);
    if (sum.marks & timelineSuspend) put(x, height - suspendBand, height, suspendColour);
    if (sum.errors) put(x, 0, tickBand, errorColour);
    // Stacked from the bottom, each part as high as its share of the bus's bits.
    const double perPixel = static_cast<double>(to - from) * Ttimeline::ticksPerFrame / barsHeight;
    int y = height;
    for (const auto& [bits, colour] :
         {std::pair{sum.sofBits, sofColour}, std::pair{sum.handshakeBits, handshakeColour},
          std::pair{sum.dataBits, dataColour}}) {
      const int h = bits ? std::max(1, static_cast<int>(static_cast<double>(bits) / perPixel + 0.5)) : 0;
      put(x, y - h, y, colour);
      y -= h;
    }
  }
  wxImage image(width, height, rgb.data(), true);
  dc.DrawBitmap(wxBitmap(image), 0, 0);

  uint64_t first = 0, last = 0;
  if (!treeSpan(first, last)) return;
  const int x0 = static_cast<int>(shown.xOfTick(first));
  const int x1 = std::max(x0 + 3, static_cast<int>(shown.xOfTick(last)) + 1);
  dc.SetPen(wxPen(wxColour(20, 20, 20), 2));
  dc.SetBrush(*wxTRANSPARENT_BRUSH);
  dc.DrawRectangle(x0, 1, x1 - x0, height - 2);
}

bool TimelineStrip::treeSpan(uint64_t& from, uint64_t& to) const {
  const std::vector<int>& lines = tree.lineRows();
  int last = tree.top();
  for (const int row : lines)
    if (row >= 0) last = std::max(last, row);
  return tree.top() >= 0 && rowTick(capture(), static_cast<std::size_t>(tree.top()), from) &&
         rowTick(capture(), static_cast<std::size_t>(last), to);
}

void TimelineStrip::treeMoved() {
  uint64_t from = 0, to = 0;
  if (treeSpan(from, to)) shown.bringIntoView(from, to);
  Refresh();
}

void TimelineStrip::jumpTo(int x) {
  const double frame = shown.frameAt(x + 0.5);
  const int64_t row =
      rowAtTick(capture(), static_cast<uint64_t>(std::max(0.0, frame) * Ttimeline::ticksPerFrame));
  if (row >= 0) tree.scrollToRow(static_cast<int>(row));
  Refresh();
}

void TimelineStrip::onMouseDown(wxMouseEvent& event) {
  if (!HasCapture()) CaptureMouse();
  dragging = true;
  jumpTo(event.GetX());
}

void TimelineStrip::onMouseMove(wxMouseEvent& event) {
  const int x = std::clamp(event.GetX(), 0, shown.pixels() - 1);
  if (dragging) jumpTo(x);
  uint64_t from = 0, to = 0;
  shown.columnFrames(x, from, to);
  SetToolTip(timelineHoverText(shown.frameAt(x + 0.5), capture().timeline().span(from, to), from, to));
}

void TimelineStrip::onMouseUp(wxMouseEvent&) {
  dragging = false;
  if (HasCapture()) ReleaseMouse();
}

void TimelineStrip::onCaptureLost(wxMouseCaptureLostEvent&) { dragging = false; }

void TimelineStrip::onWheel(wxMouseEvent& event) {
  const int notches = event.GetWheelDelta() ? event.GetWheelRotation() / event.GetWheelDelta() : 0;
  if (notches == 0) return;
  if (event.ShiftDown() || event.GetWheelAxis() == wxMOUSE_WHEEL_HORIZONTAL)
    shown.pan(-notches * panPart);
  else
    shown.zoom(event.GetX(), notches);
  Refresh();
}
