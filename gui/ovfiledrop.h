// Files dropped on the main window: the first one is opened once the drop is
// over, so that a message about it does not hold the drag source waiting.
#pragma once

#include <wx/dnd.h>

#include <functional>
#include <string>

class TfileDrop : public wxFileDropTarget {
 public:
  TfileDrop(wxEvtHandler& window, std::function<void(const std::string&)> open)
      : window(window), open(std::move(open)) {}
  bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& names) override {
    if (names.empty()) return false;
    const std::string path(names[0].fn_str());
    window.CallAfter([open = open, path] { open(path); });
    return true;
  }

 private:
  wxEvtHandler& window;
  std::function<void(const std::string&)> open;
};
