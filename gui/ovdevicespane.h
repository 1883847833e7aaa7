// The devices pane, left of the tree: the shown capture's devices with what
// the decode scripts learned of them. Selecting a device or an endpoint shows
// only its rows, and a device goes to its first rows; the capture's entry
// shows every device again. A device filter set from the Filter menu selects
// its entry. The list follows a capture as it is decoded while that is cheap,
// and is made again once the capture holds still.
#pragma once

#include <wx/panel.h>
#include <wx/splitter.h>
#include <wx/timer.h>
#include <wx/treelist.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "files/ovlua.h"
#include "ovdevicerows.h"
#include "ovsubscription.h"

class TreeMidPane;

// What an entry's context menu opens, with its address (and endpoint, 0x81 for IN 1) preset.
struct TdeviceActions {
  std::function<void(int address)> descriptors;
  std::function<void(int address, int endpoint)> stream;
  // Whether a capture dialog adds rows to the shown capture.
  std::function<bool()> capturing;
};

class TdevicesPane : public wxPanel {
 public:
  TdevicesPane(wxWindow* parent, TreeMidPane& tree, TdeviceActions actions);
  ~TdevicesPane() override;

 private:
  struct Tlisted {
    std::vector<TusbDevice> devices;
    std::vector<TdeviceRow> rows;
    std::chrono::steady_clock::duration took{};
  };
  Tlisted listOf(const std::shared_ptr<const Tcapture>& capture);
  void rebuild();
  void show(Tlisted listed);
  // The counts as wide as their longest texts; the device column takes the width they leave,
  // and at least half.
  void fitCountColumns();
  void fitDeviceColumn();
  void followFilter();
  void select(int row);
  void onSelected(wxTreeListEvent& event);
  void onContextMenu(wxTreeListEvent& event);
  void onTick();

  TreeMidPane& tree;
  TdeviceActions actions;
  wxTreeListCtrl* list;
  int countsWidth = 0;
  TluaState lua;  // of the thread listing, while it lists
  std::thread listing;
  bool listAgain = false;  // the capture changed while it was listed
  std::vector<TusbDevice> devices;
  std::vector<TdeviceRow> rows;
  std::vector<wxTreeListItem> items;
  int selected = -1;
  bool selecting = false;  // a selection made here, not by the user
  unsigned builtGeneration = 0;
  std::size_t builtRows = 0, seenRows = 0;
  std::chrono::steady_clock::duration buildTime{};
  wxTimer liveTimer;
  Tsubscription visRowsChanged;
};

// The window's working area with the devices pane on its left.
class TdevicesSplitter : public wxSplitterWindow {
 public:
  explicit TdevicesSplitter(wxWindow* parent);
  // right: the working area, made with this as its parent; tree: its tree view; width: the
  // devices pane's.
  void splitWith(wxWindow* right, TreeMidPane& tree, TdeviceActions actions, int width);
};
