#include "ovstatusbar.h"

#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "ovstatustext.h"
#include "ovwxtext.h"

namespace {

// Labels are measured again at every change: a growing capture changes them often.
bool setText(wxStaticText* label, const std::string& text) {
  const wxString now = toWx(text);
  if (label->GetLabel() == now) return false;
  label->SetLabel(now);
  return true;
}

}  // namespace

TstatusBar::TstatusBar(wxWindow* parent)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxNO_BORDER),
      status(topicStatus, [this](long texts) { show(*reinterpret_cast<const TstatusTexts*>(texts)); }) {
  SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_MENU));
  rows = new wxStaticText(this, wxID_ANY, "0 rows");
  source = new wxStaticText(this, wxID_ANY, "");
  span = new wxStaticText(this, wxID_ANY, "");
  // Room for the longest texts, so that the fields do not shift as the figures grow.
  rows->SetMinSize(rows->GetTextExtent("999,999,999 rows"));
  source->SetMinSize(source->GetTextExtent("Capturing 9,999,999,999 bytes"));
  auto* sizer = new wxBoxSizer(wxHORIZONTAL);
  for (wxStaticText* text : {rows, source, span}) sizer->Add(text, 0, wxALL | wxALIGN_CENTER_VERTICAL, 4);
  SetSizer(sizer);
}

void TstatusBar::show(const TstatusTexts& texts) {
  bool changed = setText(rows, texts.rows);
  changed |= setText(source, texts.source);
  changed |= setText(span, texts.span);
  if (changed) Layout();
}
