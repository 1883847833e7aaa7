// The fixed parts of the capture dialog: its help page, the status footer
// and the rule between sections.
#pragma once

#include <wx/panel.h>

class wxStaticText;

class ThelpPage : public wxPanel {
 public:
  ThelpPage(wxWindow* parent, int id, const wxFont& font);
};

class Tfooter : public wxPanel {
 public:
  Tfooter(wxWindow* parent, int id);
  void setStatusStr(const wxString& text);
  void setIdStr(const wxString& text);

 private:
  wxStaticText* status;
  wxStaticText* idLine;
};

class ThBorder : public wxPanel {
 public:
  explicit ThBorder(wxWindow* parent);
};
