#include "ovstatswin.h"

#include <wx/button.h>
#include <wx/clipbrd.h>
#include <wx/dataview.h>
#include <wx/display.h>
#include <wx/frame.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>
#include <thread>

#include "decode/ovcapture.h"
#include "decode/ovstats.h"
#include "files/ovstatstable.h"
#include "ovwxtext.h"

namespace {

const char* const windowName = "statistics";

class TstatsWindow : public wxFrame {
 public:
  TstatsWindow(wxWindow* parent, std::function<std::shared_ptr<const Tcapture>()> shown);
  ~TstatsWindow() override;
  // Counts on a thread of its own, so that a large capture's count leaves the
  // window responsive; nothing while a count runs.
  void recount();

 private:
  void show(TstatsTable counted);
  void copy();
  // Wide enough for every column, when the display is.
  void fitWidth(wxWindow* parent);

  std::function<std::shared_ptr<const Tcapture>()> shown;
  TstatsTable table;
  std::thread counting;
  bool busy = false;
  bool fitted = false;
  wxStaticText* facts;
  wxDataViewListCtrl* list;
};

TstatsWindow::TstatsWindow(wxWindow* parent, std::function<std::shared_ptr<const Tcapture>()> shownNow)
    : wxFrame(parent, wxID_ANY, "Statistics", wxDefaultPosition, wxSize(1100, 420),
              wxDEFAULT_FRAME_STYLE | wxFRAME_FLOAT_ON_PARENT, windowName),
      shown(std::move(shownNow)) {
  auto* panel = new wxPanel(this);
  facts = new wxStaticText(panel, wxID_ANY, "");
  list = new wxDataViewListCtrl(panel, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                wxDV_ROW_LINES | wxDV_HORIZ_RULES | wxDV_VERT_RULES);
  auto* refresh = new wxButton(panel, wxID_REFRESH, "&Refresh");
  auto* copyButton = new wxButton(panel, wxID_COPY, "&Copy");
  auto* close = new wxButton(panel, wxID_CLOSE, "Close");
  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  buttons->Add(refresh, 0, wxRIGHT, 8);
  buttons->Add(copyButton, 0, wxRIGHT, 8);
  buttons->AddStretchSpacer();
  buttons->Add(close);
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(facts, 0, wxALL, 8);
  column->Add(list, 1, wxEXPAND | wxLEFT | wxRIGHT, 8);
  column->Add(buttons, 0, wxEXPAND | wxALL, 8);
  panel->SetSizer(column);
  refresh->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { recount(); });
  copyButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { copy(); });
  close->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Close(); });
  table = statsTable(TcaptureStats{});
  for (std::size_t c = 0; c < table.columns.size(); ++c)
    list->AppendTextColumn(toWx(table.columns[c].title), wxDATAVIEW_CELL_INERT, wxCOL_WIDTH_AUTOSIZE,
                           c < 3 ? wxALIGN_LEFT : wxALIGN_RIGHT);
  recount();
}

TstatsWindow::~TstatsWindow() {
  if (counting.joinable()) counting.join();
}

void TstatsWindow::fitWidth(wxWindow* parent) {
  int width = 0;
  for (std::size_t c = 0; c < table.columns.size(); ++c) {
    int widest = list->GetTextExtent(toWx(table.columns[c].title)).x;
    for (const auto& cells : table.rows) widest = std::max(widest, list->GetTextExtent(toWx(cells[c])).x);
    width += widest + 20;
  }
  const wxRect area =
      wxDisplay(static_cast<unsigned>(std::max(wxDisplay::GetFromWindow(parent), 0))).GetClientArea();
  SetSize(std::min(width + 60, area.width * 9 / 10), GetSize().y);
}

void TstatsWindow::recount() {
  if (busy) return;
  const std::shared_ptr<const Tcapture> capture = shown();
  if (!capture) {
    facts->SetLabel("Close the capture dialog to count");
    list->DeleteAllItems();
    table.rows.clear();
    return;
  }
  busy = true;
  facts->SetLabel("Counting...");
  counting = std::thread([this, capture] {
    TstatsTable counted = statsTable(captureStats(*capture));
    CallAfter([this, counted = std::move(counted)]() mutable {
      counting.join();
      busy = false;
      show(std::move(counted));
    });
  });
}

void TstatsWindow::show(TstatsTable counted) {
  table = std::move(counted);
  wxString line;
  for (const auto& [column, value] : table.facts)
    line += (line.empty() ? "" : "    ") + toWx(column.title + ": " + value);
  facts->SetLabel(line);
  list->DeleteAllItems();
  for (const auto& cells : table.rows) {
    wxVector<wxVariant> values;
    for (const std::string& cell : cells) values.push_back(wxVariant(toWx(cell)));
    list->AppendItem(values);
  }
  if (!fitted) fitWidth(GetParent());
  fitted = true;
}

void TstatsWindow::copy() {
  wxClipboardLocker open;
  if (!!open) wxTheClipboard->SetData(new wxTextDataObject(toWx(statsText(table))));
}

}  // namespace

void showStatsWindow(wxWindow* parent, std::function<std::shared_ptr<const Tcapture>()> shown) {
  if (auto* open = dynamic_cast<TstatsWindow*>(wxWindow::FindWindowByName(windowName, parent))) {
    open->recount();
    open->Raise();
    return;
  }
  (new TstatsWindow(parent, std::move(shown)))->Show();
}
