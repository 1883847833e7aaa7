// Plain stand-ins for the tree, decode and data panes until the display
// model and its drawn panes are merged: each shows its caption, and the tree
// pane keeps the current capture (sample file or dialog) and says how many
// rows it holds.
#pragma once

#include <wx/panel.h>

#include <memory>
#include <vector>

#include "decode/ovbase.h"

class wxStaticText;

class TdecodePane : public wxPanel {
 public:
  explicit TdecodePane(wxWindow* parent);
};

class TdataPane : public wxPanel {
 public:
  explicit TdataPane(wxWindow* parent);
};

class TreePane : public wxPanel {
 public:
  TreePane(wxWindow* parent, TdataPane& dataPane, TdecodePane& decodePane);
  void zoom(int pointSize);

 private:
  void onSampleFileRead(long path);
  void onSampleFileSave(long path);
  void onDoCapture(long);
  void showRowCount();

  std::shared_ptr<TobjVec> objs = std::make_shared<TobjVec>();
  std::shared_ptr<std::vector<TlinRow>> rows = std::make_shared<std::vector<TlinRow>>();
  wxStaticText* rowCount;
};
