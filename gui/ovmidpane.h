// The working area: the tree on the left, decode and data panes on the right.
#pragma once

#include <wx/panel.h>

class wxSplitterEvent;
class TreePane;
class TdecodePane;
class TdataPane;

class MidPane : public wxPanel {
 public:
  MidPane(wxWindow* parent, int id);
  void zoom(int pointSize);
  TreePane& tree() { return *treePane; }

 private:
  void onSplitterChanged(wxSplitterEvent&);

  TreePane* treePane;
  TdecodePane* decodePane;
  TdataPane* dataPane;
};
