// Small panels of the main window: the caption over a pane and the rule
// under the toolbar.
#pragma once

#include <wx/panel.h>

class TitlePane : public wxPanel {
 public:
  TitlePane(wxWindow* parent, const wchar_t* title);
};

class ThLine : public wxPanel {
 public:
  explicit ThLine(wxWindow* parent);
};
