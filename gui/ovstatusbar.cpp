#include "ovstatusbar.h"

#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "ovstatustext.h"
#include "ovwxtext.h"

namespace {

// Whether the label needs more room than it has.
bool setText(wxStaticText* label, const std::string& text) {
  const wxString now = toWx(text);
  if (label->GetLabel() == now) return false;
  label->SetLabel(now);
  label->InvalidateBestSize();  // a label that does not resize itself keeps its old one
  const wxSize best = label->GetBestSize();
  if (best.x <= label->GetSize().x) return false;
  // The sizer keeps the size a label had when added: a longer text would wrap out of sight.
  label->SetMinSize(best);
  return true;
}

}  // namespace

TstatusBar::TstatusBar(wxWindow* parent)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxNO_BORDER),
      status(topicStatus, [this](const TstatusTexts& texts) { show(texts); }) {
  SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_MENU));
  // Sized by the layout only, which runs when a text needs more room.
  rows = new wxStaticText(this, wxID_ANY, "0 rows", wxDefaultPosition, wxDefaultSize, wxST_NO_AUTORESIZE);
  hidden = new wxStaticText(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxST_NO_AUTORESIZE);
  source = new wxStaticText(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxST_NO_AUTORESIZE);
  span = new wxStaticText(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxST_NO_AUTORESIZE);
  between = new wxStaticText(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize, wxST_NO_AUTORESIZE);
  auto* sizer = new wxBoxSizer(wxHORIZONTAL);
  for (wxStaticText* text : {rows, hidden, source, span, between})
    sizer->Add(text, 0, wxALL | wxALIGN_CENTER_VERTICAL, 8);
  SetSizer(sizer);
}

void TstatusBar::show(const TstatusTexts& texts) {
  bool grown = setText(rows, texts.rows);
  grown |= setText(hidden, texts.hidden);
  grown |= setText(source, texts.source);
  grown |= setText(span, texts.span);
  grown |= setText(between, texts.between);
  if (grown) Layout();
}
