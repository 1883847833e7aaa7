// The timeline strip's view without a display: which frames each pixel column
// sums as the user zooms and moves, what the pointer is told, and which row a
// click on a time takes the tree to.
#include <gtest/gtest.h>

#include "decode/ovgroup.h"
#include "files/ovcapturefile.h"
#include "ovtimelineview.h"

namespace {

// Columns lie side by side over the frames in view, none skipped, none twice.
void expectColumnsTile(const TtimelineView& view) {
  uint64_t expected = static_cast<uint64_t>(view.firstFrame());
  for (int x = 0; x < view.pixels(); ++x) {
    uint64_t from = 0, to = 0;
    view.columnFrames(x, from, to);
    ASSERT_GT(to, from) << "column " << x;
    // Zoomed in, neighbouring columns share their frame.
    ASSERT_TRUE(from == expected || from + 1 == expected) << "column " << x << " from " << from;
    expected = to;
  }
  EXPECT_NEAR(static_cast<double>(expected), view.firstFrame() + view.frameSpan(), 1.0);
}

}  // namespace

TEST(TimelineView, ColumnsFollowZoomAndMovesDownToSingleFrames) {
  TtimelineView view;
  view.setWidth(200);
  view.setFrames(1000);
  EXPECT_TRUE(view.showsAll());
  expectColumnsTile(view);

  const double under = view.frameAt(50);
  view.zoom(50, 3);
  EXPECT_NEAR(view.frameAt(50), under, 1e-6);  // the frame under the pointer stays there
  EXPECT_NEAR(view.frameSpan(), 1000 * 0.512, 1e-6);
  EXPECT_FALSE(view.showsAll());
  expectColumnsTile(view);

  view.zoom(50, 100);
  EXPECT_EQ(view.frameSpan(), TtimelineView::fewestFrames);
  uint64_t from = 0, to = 0;
  view.columnFrames(0, from, to);
  EXPECT_EQ(to - from, 1u);
  expectColumnsTile(view);

  // A zoomed view stays where it is as the capture grows; moves stop at either end.
  view.setFrames(5000);
  EXPECT_NEAR(view.frameAt(50), under, 1.0);
  view.pan(-1e6);
  EXPECT_EQ(view.firstFrame(), 0);
  view.pan(1e6);
  EXPECT_EQ(view.firstFrame() + view.frameSpan(), 5000);
  // The tree's window, out of sight, is brought into it.
  view.bringIntoView(100 * Ttimeline::ticksPerFrame, 101 * Ttimeline::ticksPerFrame);
  EXPECT_LE(view.firstFrame(), 100);
  EXPECT_GE(view.firstFrame() + view.frameSpan(), 101);
  EXPECT_NEAR(view.xOfTick(100 * Ttimeline::ticksPerFrame + 6000), 100, 60);

  view.zoom(0, -100);
  EXPECT_TRUE(view.showsAll());
  view.setFrames(8000);
  EXPECT_EQ(view.frameSpan(), 8000);  // the whole capture is followed as it grows

  TtimelineSpan sum;
  sum.sofBits = 35;
  sum.dataBits = 12000 - 35;
  sum.errors = 1;
  sum.marks = timelineReset;
  EXPECT_EQ(timelineHoverText(12.25, sum, 12, 14), "12.250 ms: 50.0% of 12 Mbit/s, 1 error, reset");
}

TEST(TimelineView, ATimeLeadsToTheFirstRowAtOrAfterIt) {
  Tinput input(TWR_SOURCE_DIR "/default.ovd");
  Tcapture capture;
  TcaptureFile file;
  ASSERT_TRUE(file.load(input, capture)) << file.lastError();
  uint64_t last = 0;
  ASSERT_TRUE(rowTick(capture, capture.rowCount() - 1, last));
  EXPECT_EQ(rowAtTick(capture, 0), 0);
  EXPECT_EQ(rowAtTick(capture, last + 1), static_cast<int64_t>(capture.rowCount() - 1));
  std::size_t exact = 0;
  for (uint64_t tick = 0; tick <= last; tick += last / 97) {
    SCOPED_TRACE("tick " + std::to_string(tick));
    const int64_t row = rowAtTick(capture, tick);
    ASSERT_GE(row, 0);
    uint64_t at = 0, before = 0;
    ASSERT_TRUE(rowTick(capture, static_cast<std::size_t>(row), at));
    EXPECT_GE(at, tick);
    if (row > 0 && rowTick(capture, static_cast<std::size_t>(row) - 1, before)) {
      EXPECT_LT(before, tick);
    }
    // Where rows are in time order, it is the first row of all at or after the time.
    std::size_t first = 0;
    while (first < capture.rowCount() &&
           (capture.rowType(first) > otHandshake || capture.rowSummary(first).time < tick))
      ++first;
    exact += static_cast<std::size_t>(row) <= first;
  }
  EXPECT_GT(exact, 90u);
}
