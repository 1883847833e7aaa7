#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <cstdio>

#include "decode/ovtree2lin.h"
#include "ovcaprun.h"
#include "ovcontroller.h"
#include "ovdatapane.h"
#include "ovdecodepane.h"
#include "ovdumptext.h"
#include "ovstatusbar.h"
#include "ovstatustext.h"
#include "ovtreepane.h"
#include "support/objects.h"
#include "support/testfiles.h"

namespace {

// What the stand-in dialog reports to while a test plays its part.
TcaptureSink* dialogSink = nullptr;

}  // namespace

wxWindow* openCaptureDialog(wxWindow*, TcaptureSink& sink) {
  dialogSink = &sink;
  return nullptr;
}

namespace {

void settle() {
  for (int i = 0; i < 10; i++) {
    wxTheApp->Yield(true);
    wxMilliSleep(5);
  }
}

template <class T>
std::vector<T*> find(wxWindow* root) {
  std::vector<T*> found;
  if (auto* hit = dynamic_cast<T*>(root)) found.push_back(hit);
  for (wxWindow* child : root->GetChildren())
    for (T* hit : find<T>(child)) found.push_back(hit);
  return found;
}

// IN transactions, every third NAKed; each has a token, data and handshake row.
void addTransactions(Tcapture& capture, int transactions) {
  for (int i = 0; i < transactions; i++)
    capture.appendRoot(transax(TtrxType::IN, {packet<Ttoken>(pidIn), data(pidData0, {uint8_t(i), 0x41}),
                                              packet<Thandshake>(i % 3 == 0 ? pidNak : pidAck)}));
}

// The rows made again from the roots, as a decode does when a root far back gains children.
void remakeRows(Tcapture& capture) {
  Tcapture again;
  for (size_t ix = 0; ix < capture.rootCount(); ++ix) again.appendRoot(capture.root(ix));
  capture.swap(again);
}

// A capture from the dialog that arrives in one piece, kept with OK.
void capture(int transactions) {
  _G.pubSub.pub(topicDoCapture, 0);
  const auto capture = std::make_shared<Tcapture>();
  dialogSink->captureStarted(capture);
  addTransactions(*capture, transactions);
  dialogSink->captureProgress(0, 1000);
  dialogSink->captureEnded(true, "");
  dialogSink->dialogClosed(true);
  settle();
}

struct Twindow {
  wxFrame* frame = new wxFrame(nullptr, wxID_ANY, "panes", wxDefaultPosition, wxSize(900, 600));
  TdecodePane* decode = new TdecodePane(frame);
  TdataPane* data = new TdataPane(frame);
  TreePane* tree = new TreePane(frame, *data, *decode);
  TstatusBar* status = new TstatusBar(frame);
  TreeMidPane& mid = tree->mid();
  int shownChanges = 0;
  Tcontroller controller{mid, [this] { shownChanges++; }};
  Twindow() {
    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    sizer->Add(tree, 3, wxEXPAND);
    auto* right = new wxBoxSizer(wxVERTICAL);
    right->Add(decode, 1, wxEXPAND);
    right->Add(data, 1, wxEXPAND);
    sizer->Add(right, 2, wxEXPAND);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(sizer, 1, wxEXPAND);
    column->Add(status, 0, wxEXPAND);
    frame->SetSizer(column);
    frame->Show();
    settle();
  }
  ~Twindow() {
    frame->Destroy();
    settle();
  }
  void wheel(int rotation, wxMouseWheelAxis axis = wxMOUSE_WHEEL_VERTICAL, bool ctrl = false) {
    wxMouseEvent event(wxEVT_MOUSEWHEEL);
    event.m_wheelRotation = rotation;
    event.m_wheelDelta = 120;
    event.m_wheelAxis = axis;
    event.m_controlDown = ctrl;
    mid.GetEventHandler()->ProcessEvent(event);
  }
  void click(wxEventType type, int line) {
    wxMouseEvent event(type);
    event.m_y = line * mid.cache().getRowHt() + 3;
    event.m_x = 20;
    mid.GetEventHandler()->ProcessEvent(event);
    if (type == wxEVT_LEFT_DOWN) {
      wxMouseEvent up(wxEVT_LEFT_UP);
      mid.GetEventHandler()->ProcessEvent(up);
    }
    settle();
  }
  wxString dataText() { return find<wxTextCtrl>(data)[0]->GetValue(); }
  wxString statusText() {
    wxString text;
    for (auto* label : find<wxStaticText>(status)) text += label->GetLabelText() + "|";
    return text;
  }
  bool onScreen(int row) {
    const std::vector<int>& lines = mid.lineRows();
    return std::find(lines.begin(), lines.end(), row) != lines.end();
  }
  int lastVisible() { return mid.cache().nearestVisibleRow(mid.cache().rowCount() - 1); }
  std::vector<wxString> decodeLabels() {
    std::vector<wxString> labels;
    for (auto* text : find<wxStaticText>(find<TscrolledPanel>(decode)[0]))
      labels.push_back(text->GetLabelText());
    return labels;
  }
};

}  // namespace

TEST(TreeView, ScrollClickAndNewData) {
  Twindow w;
  capture(200);
  TrowCache& rows = w.mid.cache();
  ASSERT_EQ(rows.rowCount(), 800);
  EXPECT_TRUE(w.onScreen(w.lastVisible())) << "a capture is shown at its end";
  _G.pubSub.pub(topicScrolled, 0);
  settle();
  // Default filters: NAKed transactions (0, 3, 6 ...) and their packets are hidden.
  ASSERT_GE(w.mid.lineRows().size(), 3u);
  EXPECT_EQ(w.mid.lineRows()[0], 4);
  EXPECT_EQ(w.mid.lineRows()[1], 5);

  // Wheel: two half notches make one, sideways nothing, Ctrl 25 rows.
  w.wheel(-60);
  EXPECT_EQ(w.mid.top(), 4);
  w.wheel(-60);
  EXPECT_EQ(w.mid.top(), 5);
  w.wheel(-120, wxMOUSE_WHEEL_HORIZONTAL);
  EXPECT_EQ(w.mid.top(), 5);
  w.wheel(-120, wxMOUSE_WHEEL_VERTICAL, true);
  int expect = 5;
  for (int i = 0; i < 25; i++) expect = rows.nextVisibleRow(expect);
  EXPECT_EQ(w.mid.top(), expect);

  // A scroll request outside the rows lands on the first or last visible row.
  _G.pubSub.pub(topicScrolled, 100000);
  EXPECT_EQ(w.mid.top(), 799);
  _G.pubSub.pub(topicScrolled, -1);
  EXPECT_EQ(w.mid.top(), 4);
  EXPECT_GE(w.mid.lastScrollRow(), 700);

  // A left click shows the row's bytes and decode text; a right click marks.
  w.click(wxEVT_LEFT_DOWN, 2);  // row 6: data of transaction 1
  ASSERT_EQ(rows.clickRow(0), w.mid.lineRows()[2]);
  const TdumpText dump = buildDump({1, 0x41});
  EXPECT_EQ(w.dataText(), wxString(dump.count + dump.dump));
  w.click(wxEVT_RIGHT_DOWN, 1);
  EXPECT_EQ(rows.clickRow(1), w.mid.lineRows()[1]);

  // The screen shows each line's row as drawn, its background filled on to the right edge.
  const wxSize size = w.mid.GetClientSize();
  wxBitmap shot(size);
  {
    wxClientDC screen(&w.mid);
    wxMemoryDC copy(shot);
    copy.Blit(0, 0, size.x, size.y, &screen, 0, 0);
  }
  const wxImage screen = shot.ConvertToImage();
  for (int line = 0; line < 3; line++) {
    const Trow& drawn = rows.getRow(w.mid.lineRows()[line], size.x);
    int used = 0, h = 0;
    const wxImage row = drawn.getRowBitmap(used, h).ConvertToImage();
    const wxColour bg = drawn.background();
    int wrong = 0, firstWrong = -1;
    for (int y = 0; y < h; y++)
      for (int x = 0; x < size.x; x++) {
        const int sy = line * h + y;
        const bool box = x < drawn.boxesEnd();
        const bool same = box ? screen.GetRed(x, sy) == row.GetRed(x, y) &&
                                    screen.GetGreen(x, sy) == row.GetGreen(x, y) &&
                                    screen.GetBlue(x, sy) == row.GetBlue(x, y)
                              : screen.GetRed(x, sy) == bg.Red() && screen.GetGreen(x, sy) == bg.Green() &&
                                    screen.GetBlue(x, sy) == bg.Blue();
        if (!same && wrong++ == 0) firstWrong = x;
      }
    EXPECT_EQ(wrong, 0) << "line " << line << ", first at x " << firstWrong;
  }

  // A filter change keeps the view; new data starts over, at its end.
  _G.pubSub.pub(topicScrolled, 40);
  const int top = w.mid.top(), selected = rows.clickRow(0);
  _G.showNAKs = true;
  _G.pubSub.pub(topicVisRowsChanged, 0);
  _G.showNAKs = false;
  EXPECT_EQ(w.mid.top(), top);
  EXPECT_EQ(rows.clickRow(0), selected);
  capture(10);
  EXPECT_EQ(rows.rowCount(), 40);
  EXPECT_TRUE(w.mid.followsEnd());
  EXPECT_TRUE(w.onScreen(w.lastVisible()));
  EXPECT_EQ(w.tree->bar().GetThumbPosition(), w.mid.top());
  EXPECT_EQ(rows.clickRow(0), -1);
  EXPECT_EQ(rows.clickRow(1), -1);
  EXPECT_EQ(w.dataText(), "");
}

// The dialog's capture as it is decoded: the view follows its end unless the user scrolled
// away, clicks work on the way, and Cancel or a capture without rows brings back what was shown.
TEST(TreeView, FollowsACaptureAsItGrows) {
  Twindow w;
  capture(30);
  _G.pubSub.pub(topicScrolled, 9);
  const int shownTop = w.mid.top();
  TrowCache& rows = w.mid.cache();
  const auto progress = [&](size_t firstChanged) {
    dialogSink->captureProgress(firstChanged, 1000);
    settle();
  };

  _G.pubSub.pub(topicDoCapture, 0);
  const auto live = std::make_shared<Tcapture>();
  dialogSink->captureStarted(live);
  settle();
  EXPECT_EQ(rows.rowCount(), 0);
  EXPECT_EQ(w.statusText(), "0 rows||Capturing 0 bytes|||");
  // A control transfer first: its later stages make its rows and those after them again.
  auto transfer = std::make_shared<Ttransfer>();
  transfer->children.push_back(transax(
      TtrxType::SETUP, {packet<Ttoken>(pidSetup), data(pidData0, {0x80, 6}), packet<Thandshake>(pidAck)}));
  live->appendRoot(transfer);
  for (int n : {2, 5, 40, 1, 200}) {
    const size_t before = live->rowCount();
    addTransactions(*live, n);
    progress(before);
    EXPECT_TRUE(w.mid.followsEnd());
    EXPECT_TRUE(w.onScreen(w.lastVisible())) << rows.rowCount();
  }

  // Scrolled away, the view stays where it is; a click shows its row as ever.
  w.wheel(3 * 120);
  EXPECT_FALSE(w.mid.followsEnd());
  _G.pubSub.pub(topicScrolled, 40);
  const int top = w.mid.top();
  const std::shared_ptr<Tbase> topObj = rows.getDisplRowPtr(top);
  w.click(wxEVT_LEFT_DOWN, 2);
  const int selected = rows.clickRow(0);
  const std::shared_ptr<Tbase> selectedObj = rows.getDisplRowPtr(selected);
  const wxString shownData = w.dataText();
  EXPECT_NE(shownData, "");
  const size_t before = live->rowCount();
  addTransactions(*live, 30);
  progress(before);
  EXPECT_EQ(w.mid.top(), top);
  EXPECT_FALSE(w.onScreen(w.lastVisible()));
  // The transfer gains a stage: the rows from it on are made again, each object a row further.
  transfer->children.push_back(
      transax(TtrxType::IN, {packet<Ttoken>(pidIn), data(pidData1, {0x12, 1}), packet<Thandshake>(pidAck)}));
  remakeRows(*live);
  progress(0);
  EXPECT_EQ(w.mid.top(), topObj->row);
  EXPECT_GT(topObj->row, top);
  EXPECT_EQ(rows.clickRow(0), selectedObj->row);
  EXPECT_EQ(w.dataText(), shownData);
  // Back at the end, the view follows again.
  _G.pubSub.pub(topicScrolled, 1 << 30);
  EXPECT_TRUE(w.mid.followsEnd());
  addTransactions(*live, 3);
  progress(before);
  EXPECT_TRUE(w.onScreen(w.lastVisible()));

  const int captured = rows.rowCount();
  // A capture that ran out of room says so where it is shown.
  dialogSink->captureEnded(true, "/tmp: No space left on device");
  EXPECT_EQ(w.statusText(), groupedDigits(captured) + " rows|" +
                                groupedDigits(captured - rows.visibleRowCount()) +
                                " hidden|Captured, cut short: /tmp: No space left on device|Span 0.000 ms||");
  // Cancel: what was shown before the dialog, where it was.
  dialogSink->dialogClosed(false);
  settle();
  EXPECT_EQ(rows.rowCount(), 120);
  EXPECT_EQ(w.mid.top(), shownTop);
  // The NAKed ten of its thirty transactions are hidden, each with its three packets.
  EXPECT_EQ(w.statusText(), "120 rows|40 hidden|Captured|Span 0.000 ms||");

  // A capture that makes no row leaves the last one shown; OK keeps that.
  capture(5);
  _G.pubSub.pub(topicDoCapture, 0);
  dialogSink->captureStarted(std::make_shared<Tcapture>());
  EXPECT_EQ(rows.rowCount(), 0);
  dialogSink->captureEnded(false, "");
  dialogSink->dialogClosed(true);
  EXPECT_EQ(rows.rowCount(), 20);
}

TEST(DecodePane, PlainTextEncodingsAndTables) {
  Twindow w;
  // "&" is no mnemonic; bytes that are not UTF-8 are read as Latin-1.
  w.decode->render(
      "SAT&T;S\xc2\xb5s;Sbad \xff byte;TDescriptor\nField#Value\nbLength#18\nbType#1\nx#2;TEmpty\nOnly");
  settle();
  const auto labels = w.decodeLabels();
  ASSERT_EQ(labels.size(), 5u);
  EXPECT_EQ(labels[0], "AT&T");
  EXPECT_EQ(labels[1], wxString::FromUTF8("\xc2\xb5s"));
  EXPECT_EQ(labels[2], wxString(L"bad \u00ff byte"));
  EXPECT_EQ(labels[3], "Descriptor");

  const auto lists = find<wxListView>(w.decode);
  ASSERT_EQ(lists.size(), 2u);
  EXPECT_EQ(lists[0]->GetItemCount(), 3);
  EXPECT_EQ(lists[0]->GetItemText(1, 1), "1");
  wxRect row;
  ASSERT_TRUE(lists[0]->GetItemRect(0, row));
  EXPECT_EQ(lists[0]->GetMinSize().y, 4 * row.height + 12);
  // Headings without rows: still tall enough for the header.
  EXPECT_EQ(lists[1]->GetItemCount(), 0);
  EXPECT_EQ(lists[1]->GetMinSize().y, row.height + 12);

  w.decode->render("");
  EXPECT_TRUE(w.decodeLabels().empty());
}

// The window's file and capture actions: where the rows came from, and whether closing would
// lose them.
TEST(Controller, KnowsWhereTheRowsCameFromAndKeepsThemWhenAFileFails) {
  Twindow w;
  Tcontroller& c = w.controller;
  TrowCache& rows = w.mid.cache();
  const std::string sample = TWR_TEST_DATA_DIR "/lib_sample.ovd";
  ASSERT_EQ(c.open(sample), "");
  const int sampleRows = rows.rowCount();
  EXPECT_GT(sampleRows, 0);
  EXPECT_EQ(c.source().path(), sample);
  EXPECT_TRUE(w.statusText().Contains("|lib_sample.ovd|")) << w.statusText();
  const std::string broken = c.open(TWR_TEST_DATA_DIR "/lib_malformed.ovd");
  EXPECT_NE(broken.find("line 6"), std::string::npos) << broken;
  EXPECT_EQ(rows.rowCount(), sampleRows);
  EXPECT_EQ(c.source().path(), sample);
  EXPECT_EQ(w.shownChanges, 1);

  // A capture kept with OK is the one thing closing would lose; a failed save changes nothing.
  capture(10);
  const int captured = rows.rowCount();
  EXPECT_TRUE(c.source().unsaved());
  EXPECT_EQ(w.shownChanges, 2);
  EXPECT_NE(c.save("/nonexistent/dir/kept.ovd"), "");
  EXPECT_TRUE(c.source().unsaved());
  const std::string kept = tempPath("kept.ovd");
  ASSERT_EQ(c.save(kept), "");
  EXPECT_FALSE(c.source().unsaved());
  EXPECT_EQ(c.source().path(), kept);

  // Captures that end without rows, or are cancelled, leave the saved one shown and saved.
  _G.pubSub.pub(topicDoCapture, 0);
  dialogSink->captureStarted(std::make_shared<Tcapture>());
  dialogSink->captureEnded(false, "");
  dialogSink->dialogClosed(true);
  _G.pubSub.pub(topicDoCapture, 0);
  dialogSink->captureStarted(std::make_shared<Tcapture>());
  dialogSink->captureEnded(true, "");
  dialogSink->dialogClosed(false);
  EXPECT_EQ(rows.rowCount(), captured);
  EXPECT_FALSE(c.source().unsaved());
  EXPECT_EQ(w.shownChanges, 3);
  std::remove(kept.c_str());
}
