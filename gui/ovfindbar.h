// The find bar above the status bar: text in the rows' boxes or decode texts,
// or hex bytes; Next and Previous step through the matches the filters show,
// wrapping, and it says "3 of 41". The search runs on a thread of its own; the
// bar shows its progress and Stop ends it.
#pragma once

#include <wx/panel.h>
#include <wx/timer.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ovfindscan.h"
#include "ovsubscription.h"

class TreeMidPane;
class wxButton;
class wxCheckBox;
class wxStaticText;
class wxTextCtrl;

class TfindBar : public wxPanel {
 public:
  // capturing: whether the capture dialog may be adding rows to the shown capture.
  TfindBar(wxWindow* parent, TreeMidPane& tree, std::function<bool()> capturing);
  ~TfindBar() override;

  // Shows the bar with its text selected, to be typed over.
  void open();
  void close();
  // The next match after the selected row (the previous one), searching first when the
  // text, the capture or its rows changed since the last search.
  void step(bool forward);

 private:
  void onTimer(wxTimerEvent&);
  void onKey(wxKeyEvent& event);
  void onFiltersOrRows();
  void start(bool forward);
  void stop();
  bool searchedIsCurrent() const;
  void take();
  void jumpTo(int row);
  void say(const std::string& text);

  TreeMidPane& tree;
  std::function<bool()> capturing;
  wxTextCtrl* entry;
  wxCheckBox* inDecode;
  wxButton* stopButton;
  wxStaticText* count;
  wxTimer timer;

  std::unique_ptr<TfindScan> scan;
  TfindMatches matches;
  std::vector<int32_t> found;  // working space
  bool jumped = false;         // to a match of the running search
  // What the matches are of.
  TfindQuery searched;
  std::shared_ptr<const Tcapture> searchedCapture;
  std::size_t searchedRows = 0;
  Tsubscription visRowsChanged;
};
