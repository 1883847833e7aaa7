#include "ovfindbar.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>

#include "ovstatustext.h"
#include "ovtreepane.h"
#include "ovwxtext.h"

namespace {

// The bar looks for new matches this often while a search runs.
constexpr int pollMs = 40;

}  // namespace

TfindBar::TfindBar(wxWindow* parent, TreeMidPane& tree, std::function<bool()> capturing)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxNO_BORDER),
      tree(tree),
      capturing(std::move(capturing)),
      timer(this),
      visRowsChanged(topicVisRowsChanged, [this](long) { onFiltersOrRows(); }) {
  SetBackgroundColour(wxColour(232, 232, 232));
  entry = new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxSize(260, -1), wxTE_PROCESS_ENTER);
  entry->SetHint("Text, or hex bytes such as 12 01 00 02");
  entry->SetName("Find");
  inDecode = new wxCheckBox(this, wxID_ANY, "In decode texts");
  auto* previous = new wxButton(this, wxID_ANY, "Previous");
  auto* next = new wxButton(this, wxID_ANY, "Next");
  stopButton = new wxButton(this, wxID_ANY, "Stop");
  stopButton->Disable();
  count = new wxStaticText(this, wxID_ANY, "", wxDefaultPosition, wxSize(260, -1), wxST_NO_AUTORESIZE);
  auto* hide =
      new wxButton(this, wxID_ANY, "Close find bar", wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);

  auto* sizer = new wxBoxSizer(wxHORIZONTAL);
  sizer->Add(new wxStaticText(this, wxID_ANY, "Find:"), 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 8);
  sizer->Add(entry, 0, wxALIGN_CENTER_VERTICAL | wxTOP | wxBOTTOM, 4);
  sizer->Add(inDecode, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 8);
  for (wxWindow* button :
       {static_cast<wxWindow*>(previous), static_cast<wxWindow*>(next), static_cast<wxWindow*>(stopButton)})
    sizer->Add(button, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 4);
  sizer->Add(count, 1, wxALIGN_CENTER_VERTICAL | wxLEFT, 8);
  sizer->Add(hide, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
  SetSizer(sizer);
  Hide();

  entry->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) { step(!wxGetKeyState(WXK_SHIFT)); });
  previous->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { step(false); });
  next->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { step(true); });
  stopButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    stop();
    say("Stopped");
  });
  hide->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { close(); });
  Bind(wxEVT_CHAR_HOOK, &TfindBar::onKey, this);
  Bind(wxEVT_TIMER, &TfindBar::onTimer, this);
}

TfindBar::~TfindBar() { timer.Stop(); }

void TfindBar::open() {
  if (!IsShown()) {
    Show();
    GetParent()->Layout();
  }
  entry->SetFocus();
  entry->SelectAll();
}

void TfindBar::close() {
  stop();
  if (!IsShown()) return;
  Hide();
  GetParent()->Layout();
  tree.SetFocus();
}

void TfindBar::onKey(wxKeyEvent& event) {
  if (event.GetKeyCode() == WXK_ESCAPE && !event.HasAnyModifiers()) return close();
  event.Skip();
}

void TfindBar::say(const std::string& text) { count->SetLabel(toWx(text)); }

bool TfindBar::searchedIsCurrent() const {
  const TdisplData& shown = tree.cache();
  return searchedCapture && searchedCapture == shown.sharedCapture() &&
         searchedRows == static_cast<std::size_t>(shown.rowCount()) &&
         searched.text == parseFindQuery(std::string(entry->GetValue().utf8_str()), false).text &&
         searched.inDecode == inDecode->GetValue() &&
         (!searched.inDecode || searched.devices == shown.externalDevices());
}

void TfindBar::step(bool forward) {
  if (!IsShown() || entry->IsEmpty()) return open();
  if (!searchedIsCurrent()) return start(forward);
  // A running search goes on: the matches found so far are stepped through.
  take();
  TrowCache& rows = tree.cache();
  matches.showOnly([&](int row) { return rows.isVisible(row); });
  const int from = tree.selectedRow() >= 0 ? tree.selectedRow() : tree.top();
  const int row = matches.step(from, forward);
  if (row >= 0) jumpTo(row);
  if (!scan) say(matches.countText(tree.selectedRow()));
}

void TfindBar::start(bool forward) {
  stop();
  matches.clear();
  jumped = false;
  const TdisplData& shown = tree.cache();
  searched = parseFindQuery(std::string(entry->GetValue().utf8_str()), inDecode->GetValue());
  searched.devices = shown.externalDevices();
  searchedCapture = shown.sharedCapture();
  searchedRows = static_cast<std::size_t>(shown.rowCount());
  if (searchedRows == 0) return say("No rows to search");
  // The capture dialog adds to the rows it shows: they are searched once it closes.
  if (capturing()) {
    searchedCapture.reset();
    return say("Close the capture dialog to search");
  }
  // From the selected row, or from the screen's top row for the first step.
  int from = tree.selectedRow();
  if (from < 0) from = forward ? tree.top() - 1 : tree.top();
  if (from < 0) from = static_cast<int>(searchedRows) - 1;
  scan = std::make_unique<TfindScan>(searchedCapture, searched, static_cast<std::size_t>(from), forward);
  stopButton->Enable();
  say("Searching");
  timer.Start(pollMs);
}

void TfindBar::stop() {
  timer.Stop();
  if (scan && !scan->finished()) searchedCapture.reset();  // what was found is not all there is
  scan.reset();
  stopButton->Disable();
}

void TfindBar::take() {
  if (!scan) return;
  found.clear();
  scan->takeFound(found);
  matches.add(found);
  TrowCache& rows = tree.cache();
  // The search runs outward from where the user is: its first shown match is the next one.
  for (std::size_t i = 0; i < found.size() && !jumped; i++)
    if (rows.isVisible(found[i])) jumpTo(found[i]);
}

void TfindBar::onTimer(wxTimerEvent&) {
  if (!scan) return;
  const bool finished = scan->finished();
  take();
  if (!finished) {
    const double part = static_cast<double>(scan->rowsLookedAt()) / static_cast<double>(scan->rowCount());
    say("Searching " + std::to_string(static_cast<int>(part * 100)) + "%, " + groupedDigits(matches.size()) +
        " found");
    return;
  }
  timer.Stop();
  scan.reset();
  stopButton->Disable();
  onFiltersOrRows();
}

void TfindBar::onFiltersOrRows() {
  if (!searchedCapture) return;
  if (searchedCapture != tree.cache().sharedCapture()) {
    // Other rows: the matches were of the ones before.
    stop();
    searchedCapture.reset();
    matches.clear();
    return say("");
  }
  if (scan) return;
  TrowCache& rows = tree.cache();
  matches.showOnly([&](int row) { return rows.isVisible(row); });
  say(matches.countText(tree.selectedRow()));
}

void TfindBar::jumpTo(int row) {
  jumped = true;
  tree.selectRow(row);
  if (searched.bytes.empty()) return;
  const std::vector<uint8_t>& bytes = shownBytes(tree.cache().getDisplRowPtr(row));
  const auto at = std::search(bytes.begin(), bytes.end(), searched.bytes.begin(), searched.bytes.end());
  if (at != bytes.end())
    tree.highlightBytes(static_cast<std::size_t>(at - bytes.begin()), searched.bytes.size());
}
