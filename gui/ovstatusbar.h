// The line under the panes: how many rows, where they come from ("Capturing
// 1,234,567 bytes", "Captured", a file's name), the time they span and the
// time between the selected and the marked row. Plain
// labels, so that screen readers read them.
#pragma once

#include <wx/panel.h>

#include "ovsubscription.h"

class wxStaticText;
struct TstatusTexts;

class TstatusBar : public wxPanel {
 public:
  explicit TstatusBar(wxWindow* parent);

 private:
  void show(const TstatusTexts& texts);

  wxStaticText* rows;
  wxStaticText* hidden;
  wxStaticText* source;
  wxStaticText* span;
  wxStaticText* between;
  Tsubscription status;
};
