#include "ovdevicespane.h"

#include <wx/dataview.h>
#include <wx/menu.h>
#include <wx/settings.h>
#include <wx/sizer.h>

#include <algorithm>
#include <utility>

#include "ovglobs.h"
#include "ovtreepane.h"
#include "ovwxtext.h"

namespace {

// A list that takes longer than this to make is not made again while a capture grows.
constexpr auto cheapBuild = std::chrono::milliseconds(100);
constexpr int liveCheckMs = 1000;
constexpr std::size_t openWhole = 60;

}  // namespace

TdevicesPane::TdevicesPane(wxWindow* parent, TreeMidPane& tree, TdeviceActions actions)
    : wxPanel(parent, wxID_ANY),
      tree(tree),
      actions(std::move(actions)),
      liveTimer(this),
      visRowsChanged(topicVisRowsChanged, [this](long) {
        if (this->tree.cache().dataGeneration() != builtGeneration) rebuild();
        followFilter();
      }) {
  list = new wxTreeListCtrl(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTL_SINGLE);
  // Fitted to the pane with the counts beside it: longer texts are cut at the end.
  list->AppendColumn("Device", FromDIP(235), wxALIGN_LEFT, wxCOL_RESIZABLE);
  for (const std::string& title : countTitles)
    list->AppendColumn(toWx(title), wxCOL_WIDTH_DEFAULT, wxALIGN_RIGHT);
  list->GetDataView()->GetColumn(0)->GetRenderer()->EnableEllipsize(wxELLIPSIZE_END);
  list->Bind(wxEVT_TREELIST_SELECTION_CHANGED, &TdevicesPane::onSelected, this);
  list->Bind(wxEVT_TREELIST_ITEM_CONTEXT_MENU, &TdevicesPane::onContextMenu, this);
  list->Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
    event.Skip();
    CallAfter([this] { fitDeviceColumn(); });
  });
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(list, 1, wxEXPAND);
  SetSizer(sizer);
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) { onTick(); });
  liveTimer.Start(liveCheckMs);
  rebuild();
}

void TdevicesPane::fitCountColumns() {
  const int padding = FromDIP(16);
  countsWidth = wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, list);
  for (std::size_t c = 0; c < countTitles.size(); ++c) {
    int width = list->GetTextExtent(toWx(countTitles[c])).x;
    for (const TdeviceRow& row : rows)
      if (c < row.counts.size()) width = std::max(width, list->GetTextExtent(toWx(row.counts[c])).x);
    list->SetColumnWidth(static_cast<unsigned>(c + 1), width + padding);
    countsWidth += width + padding;
  }
  fitDeviceColumn();
}

void TdevicesPane::fitDeviceColumn() {
  // Names say which entry is which: they keep half the width, and wide counts scroll.
  const int width = list->GetClientSize().x;
  list->SetColumnWidth(0, std::max(width / 2, width - countsWidth));
}

TdevicesPane::~TdevicesPane() {
  if (listing.joinable()) listing.join();
}

TdevicesPane::Tlisted TdevicesPane::listOf(const std::shared_ptr<const Tcapture>& capture) {
  const auto started = std::chrono::steady_clock::now();
  Tlisted listed;
  lua.setRows(capture);
  listed.devices = listDevices(*capture, &lua);
  // The scripts must not keep a capture the window let go.
  lua.setRows(nullptr);
  listed.rows = deviceRows(listed.devices, captureStats(*capture));
  listed.took = std::chrono::steady_clock::now() - started;
  return listed;
}

void TdevicesPane::rebuild() {
  if (listing.joinable()) {
    listAgain = true;
    return;
  }
  const auto capture = tree.cache().sharedCapture();
  builtGeneration = tree.cache().dataGeneration();
  builtRows = seenRows = capture->rowCount();
  // A capture that grows is read between the rows added to it; one that holds still
  // is read on a thread, so that a large one leaves the window free meanwhile.
  if (actions.capturing && actions.capturing()) {
    show(listOf(capture));
    return;
  }
  listing = std::thread([this, capture] {
    Tlisted listed = listOf(capture);
    CallAfter([this, listed = std::move(listed)]() mutable {
      listing.join();
      show(std::move(listed));
      if (std::exchange(listAgain, false)) rebuild();
      followFilter();
    });
  });
}

void TdevicesPane::show(Tlisted listed) {
  // The key of the selected device, to select it again in the new list.
  const TdeviceRow was = selected >= 0 ? rows[selected] : TdeviceRow{};
  const TusbDevice* wasDevice = was.device >= 0 ? &devices[was.device] : nullptr;
  const std::pair<int, int> wasKey =
      wasDevice ? std::make_pair(wasDevice->address, wasDevice->resetsBefore) : std::make_pair(-1, -1);
  devices = std::move(listed.devices);
  rows = std::move(listed.rows);
  buildTime = listed.took;

  selecting = true;
  list->Freeze();
  list->DeleteAllItems();
  items.clear();
  std::vector<wxTreeListItem> parents{list->GetRootItem()};
  for (const TdeviceRow& row : rows) {
    parents.resize(static_cast<std::size_t>(row.depth) + 1);
    items.push_back(list->AppendItem(parents.back(), toWx(row.text)));
    for (std::size_t c = 0; c < row.counts.size(); ++c)
      list->SetItemText(items.back(), static_cast<unsigned>(c + 1), toWx(row.counts[c]));
    parents.push_back(items.back());
  }
  // A short list opens whole; a long one shows its devices, to be opened one by one.
  for (std::size_t ix = 0; ix < items.size(); ++ix)
    if ((rows.size() <= openWhole || rows[ix].depth == 0) && list->GetFirstChild(items[ix]).IsOk())
      list->Expand(items[ix]);
  fitCountColumns();
  list->Thaw();
  selecting = false;

  selected = -1;
  for (int ix = 0; ix < static_cast<int>(rows.size()) && wasKey.first >= 0; ++ix) {
    const TdeviceRow& row = rows[ix];
    if (row.device >= 0 && devices[row.device].sameKey(wasKey.first, wasKey.second) &&
        row.depth == was.depth && row.filter.sameDevice(was.filter)) {
      select(ix);
      break;
    }
  }
}

void TdevicesPane::followFilter() {
  const int row = rowOfFilter(rows, _G.rowFilter, selected);
  if (row != selected) select(row);
}

void TdevicesPane::select(int row) {
  selecting = true;
  list->UnselectAll();
  if (row >= 0) {
    list->Select(items[row]);
    list->EnsureVisible(items[row]);
  }
  selecting = false;
  selected = row;
}

void TdevicesPane::onSelected(wxTreeListEvent&) {
  if (selecting) return;
  const wxTreeListItem item = list->GetSelection();
  selected = -1;
  for (int ix = 0; ix < static_cast<int>(items.size()); ++ix)
    if (items[ix] == item) selected = ix;
  if (selected < 0) return;
  const TdeviceRow& row = rows[selected];
  if (!_G.rowFilter.sameDevice(row.filter)) {
    _G.rowFilter.address = row.filter.address;
    _G.rowFilter.endpoint = row.filter.endpoint;
    _G.pubSub.pub(topicVisRowsChanged, 0);
  }
  if (row.depth != 1) return;
  // A device goes to its first rows: its address may have been another device's before.
  const Tcapture& capture = tree.cache().shownCapture();
  auto first = static_cast<int64_t>(devices[row.device].firstRow);
  while (capture.parentRow(static_cast<std::size_t>(first)) >= 0)
    first = capture.parentRow(static_cast<std::size_t>(first));
  tree.selectRow(static_cast<int>(first));
}

void TdevicesPane::onContextMenu(wxTreeListEvent& event) {
  int ix = 0;
  while (ix < static_cast<int>(items.size()) && items[ix] != event.GetItem()) ++ix;
  if (ix == static_cast<int>(items.size()) || rows[ix].device < 0) return;
  const TdeviceRow row = rows[ix];
  wxMenu menu;
  menu.Append(wxID_PROPERTIES, "Device descriptors...");
  if (row.endpointAddress > 0) menu.Append(wxID_VIEW_DETAILS, "Endpoint stream...");
  const int chosen = list->GetPopupMenuSelectionFromUser(menu);
  if (chosen == wxID_PROPERTIES)
    actions.descriptors(row.filter.address);
  else if (chosen == wxID_VIEW_DETAILS)
    actions.stream(row.filter.address, row.endpointAddress);
}

void TdevicesPane::onTick() {
  const std::size_t now = tree.cache().shownCapture().rowCount();
  if (now == builtRows && tree.cache().dataGeneration() == builtGeneration) return;
  // While it grows, only when cheap; once it holds still, in any case.
  if (buildTime < cheapBuild || now == seenRows) {
    rebuild();
    followFilter();
  }
  seenRows = now;
}

TdevicesSplitter::TdevicesSplitter(wxWindow* parent)
    : wxSplitterWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSP_3D | wxSP_LIVE_UPDATE) {
  SetMinimumPaneSize(120);
  SetSashGravity(0.0);
}

void TdevicesSplitter::splitWith(wxWindow* right, TreeMidPane& tree, TdeviceActions actions, int width) {
  SplitVertically(new TdevicesPane(this, tree, std::move(actions)), right, width);
}
