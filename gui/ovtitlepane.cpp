#include "ovtitlepane.h"

#include <wx/sizer.h>
#include <wx/stattext.h>

TitlePane::TitlePane(wxWindow* parent, const wchar_t* title)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxNO_BORDER) {
  SetBackgroundColour(wxColour(211, 211, 211));
  auto* text = new wxStaticText(this, wxID_ANY, title ? title : L"");
  wxFont font = GetFont();
  font.SetPointSize(font.GetPointSize() * 15 / 10);
  text->SetFont(font);
  auto* sizer = new wxBoxSizer(wxHORIZONTAL);
  sizer->AddStretchSpacer(1);
  sizer->Add(text, 0);
  sizer->AddStretchSpacer(1);
  SetSizer(sizer);
}

ThLine::ThLine(wxWindow* parent) : wxPanel(parent, wxID_ANY) {
  SetMinSize(wxSize(-1, 1));
  SetBackgroundColour(wxColour(192, 192, 192));
}
