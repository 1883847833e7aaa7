// The working area: the tree on the left, decode and data panes on the right.
#pragma once

#include <wx/panel.h>

class wxSplitterEvent;
class wxSplitterWindow;
class TreePane;
class TreeMidPane;
class TdecodePane;
class TdataPane;

class MidPane : public wxPanel {
 public:
  // rightColumn: the decode and data panes' width; dataHeight: the data pane's height.
  MidPane(wxWindow* parent, int id, int rightColumn, int dataHeight);
  void sashes(int& rightColumn, int& dataHeight) const;
  void zoom(int pointSize);
  TreeMidPane& tree();

 private:
  void onSplitterChanged(wxSplitterEvent&);

  TreePane* treePane;
  TdecodePane* decodePane;
  TdataPane* dataPane;
  wxSplitterWindow* outer;
  wxSplitterWindow* inner;
};
