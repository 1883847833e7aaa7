#include "capture/ovcappanels.h"

#include <wx/sizer.h>
#include <wx/stattext.h>

#include "capture/ovcapdlg.h"

namespace {

enum { idStatusText = 7010, idIdText = 7011, idVersionText = 7012 };

const char* const helpParagraphs[] = {
    "1. (Optionally) Connect or Disconnect. The Sniffer default is for the target device to be disconnected "
    "from the host until sampling starts. This simplifies debugging USB start-up problems.",
    "2. Set the Buffer size. USB traffic is compressed into the buffer so a typical size is a few MBytes. "
    "Buffer sizes above 100MByte risk running into memory shortage problems.",
    "3. Click on the Run button. This starts the Sniffer. The progress display will update a few times per "
    "second. ",
    "Data sniffed from USB is captured in a compressed format. It is decompressed as it arrives, and the "
    "main "
    "window shows it while the capture runs.",
    "Press the Stop button to interrupt USB sniffing. Captured data will still be decompressed.",
};

}  // namespace

ThelpPage::ThelpPage(wxWindow* parent, int id, const wxFont& font) : wxPanel(parent, id) {
  SetFont(font);
  SetBackgroundColour(wxColour("#eeeeee"));
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  for (const char* paragraph : helpParagraphs) {
    auto* text = new wxStaticText(this, wxID_ANY, paragraph);
    text->SetForegroundColour(wxColour("#111111"));
    text->Wrap(500);
    sizer->Add(text, 0, wxALL, 8);
  }
  SetSizer(sizer);
}

Tfooter::Tfooter(wxWindow* parent, int id) : wxPanel(parent, id) {
  SetBackgroundColour(wxColour("#444444"));
  SetForegroundColour(wxColour("#e0e0e0"));
  wxFont font = GetFont();
  font.SetPointSize(font.GetPointSize() + 2);
  SetFont(font);
  status = new wxStaticText(this, idStatusText, "Initializing...");
  idLine = new wxStaticText(this, idIdText, "Initializing...");
  auto* version = new wxStaticText(this, idVersionText, "Version: 1.0.9");
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  for (wxStaticText* text : {status, idLine, version}) {
    text->SetForegroundColour(GetForegroundColour());
    sizer->Add(text, 0, wxLEFT | wxRIGHT | wxTOP, 6);
  }
  sizer->AddSpacer(6);
  SetSizer(sizer);
}

void Tfooter::setStatusStr(const wxString& text) {
  const int before = status->GetBestSize().y;
  status->SetLabel(text);
  // A status of another number of lines changes the height of the fixed-size dialog.
  if (status->GetBestSize().y == before) return;
  if (auto* dialog = dynamic_cast<TcaptureDialog*>(wxGetTopLevelParent(this))) dialog->fixSize();
}
void Tfooter::setIdStr(const wxString& text) { idLine->SetLabel(text); }

ThBorder::ThBorder(wxWindow* parent) : wxPanel(parent, wxID_ANY) {
  SetMinSize(wxSize(-1, 1));
  SetBackgroundColour(wxColour("#c0c0c0"));
}
