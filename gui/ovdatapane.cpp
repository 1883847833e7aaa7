#include "ovdatapane.h"

#include <wx/sizer.h>
#include <wx/textctrl.h>

#include "ovdumptext.h"
#include "ovglobs.h"
#include "ovtitlepane.h"

TdataPane::TdataPane(wxWindow* parent, int id)
    : wxPanel(parent, id, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxNO_BORDER) {
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(new TitlePane(this, L"Raw Data"), 0, wxEXPAND);
  text = new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxDefaultSize,
                        wxTE_MULTILINE | wxTE_READONLY | wxTE_RICH | wxHSCROLL);
  text->SetBackgroundColour(wxColour(144, 238, 144));
  sizer->Add(text, 1, wxEXPAND);
  SetSizer(sizer);
}

void TdataPane::clear() { text->Clear(); }

void TdataPane::renderPacket(const std::vector<uint8_t>& bytes) {
  TdumpText shown = buildDump(bytes);
  text->Clear();
  // One append per font run: a line at a time takes seconds for 64 KB.
  text->SetDefaultStyle(
      wxTextAttr(*wxBLACK, wxNullColour, wxFontInfo(_G.fontPointSize + 2).FaceName("Arial")));
  text->AppendText(wxString::FromAscii(shown.count.c_str()));
  dumpAt = shown.count.size();
  dump = std::move(shown.dump);
  if (!dump.empty()) {
    text->SetDefaultStyle(
        wxTextAttr(*wxBLACK, wxNullColour,
                   wxFontInfo(_G.fontPointSize).Family(wxFONTFAMILY_TELETYPE).FaceName("Courier")));
    text->AppendText(wxString::FromAscii(dump.c_str()));
  }
  // Open the view at the first line.
  text->SetSelection(0, 0);
  text->ShowPosition(0);
}

void TdataPane::highlight(std::size_t first, std::size_t count) {
  if (dump.empty()) return;
  const wxTextAttr marked(*wxBLACK, wxColour(255, 215, 0));
  for (std::size_t ix = first; ix < first + count; ix++) {
    const auto at = static_cast<long>(dumpAt + dumpHexOffset(dump, ix));
    text->SetStyle(at, at + 2, marked);
  }
  text->ShowPosition(static_cast<long>(dumpAt + dumpHexOffset(dump, first)));
}
