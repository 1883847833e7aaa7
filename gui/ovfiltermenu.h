// The Filter menu: rows of one device, rows with errors, the next and the
// previous error. Its filters add to the toolbar's; it asks the tree view to
// apply them through the topic hub.
#pragma once

#include <wx/menu.h>

class TfilterMenu : public wxMenu {
 public:
  // parent: the window the device question opens over.
  explicit TfilterMenu(wxWindow* parent);

 private:
  void askDevice();

  wxWindow* parent;
  wxMenuItem* errorsOnly;
};
