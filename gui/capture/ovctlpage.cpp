#include "capture/ovctlpage.h"

#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "capture/ovcapdlg.h"
#include "capture/ovcappanels.h"
#include "hardware/ovlothrd.h"
#include "ovglobs.h"

namespace {

enum { idConnect = 7006, idDisconnect = 7007, idStartStop = 7008 };
constexpr int buttonWidth = 133;

wxStaticText* heading(wxWindow* parent, const char* text) {
  auto* label = new wxStaticText(parent, wxID_ANY, text);
  wxFont font = parent->GetFont();
  font.SetPointSize(font.GetPointSize() + 3);
  label->SetFont(font);
  return label;
}

// A row of buttons with equal stretch space around and between them.
wxSizer* buttonRow(std::initializer_list<wxButton*> buttons) {
  auto* row = new wxBoxSizer(wxHORIZONTAL);
  row->AddStretchSpacer(1);
  for (wxButton* b : buttons) {
    row->Add(b);
    row->AddStretchSpacer(1);
  }
  return row;
}

}  // namespace

TctlPage::TctlPage(wxWindow* parent, int id, const wxFont& font, Tfooter& footer, TcaptureSink& sink)
    : wxPanel(parent, id), footer(footer), machine(lo, *this, sink, _G.bufferLimit) {
  SetBackgroundColour(wxColour("#eeeeee"));
  SetMinSize(wxSize(525, -1));
  wxFont big = font;
  big.SetPointSize(font.GetPointSize() + 2);
  SetFont(big);
  const wxSize buttonSize(buttonWidth, -1);
  connectBtn = new wxButton(this, idConnect, "Connect", wxDefaultPosition, buttonSize);
  disconnBtn = new wxButton(this, idDisconnect, "Disconnect", wxDefaultPosition, buttonSize);
  startStopBtn = new wxButton(this, idStartStop, "Start", wxDefaultPosition, buttonSize);
  okBtn = new wxButton(this, wxID_OK, "OK", wxDefaultPosition, buttonSize);
  cancelBtn = new wxButton(this, wxID_CANCEL, "Cancel", wxDefaultPosition, buttonSize);
  okBtn->Disable();
  bufferText =
      new wxTextCtrl(this, wxID_ANY, num2str(machine.bufferKB), wxDefaultPosition, wxDefaultSize, wxTE_RIGHT);
  acqBar = new wxGauge(this, wxID_ANY, 100);
  decBar = new wxGauge(this, wxID_ANY, 100);
  acqText = new wxStaticText(this, wxID_ANY, "0 Bytes");
  decText = new wxStaticText(this, wxID_ANY, "0%");
  // Room for the longest count, so that the fixed-size dialog never clips it.
  acqText->SetMinSize(acqText->GetTextExtent(num2str(TloThread::largestCapture) + " Bytes"));
  decText->SetMinSize(decText->GetTextExtent("100%"));

  auto* buffer = new wxFlexGridSizer(3, 5, 5);
  buffer->AddGrowableCol(1);
  buffer->Add(new wxStaticText(this, wxID_ANY, "Buffer Size"), 0, wxALIGN_CENTER_VERTICAL);
  buffer->Add(bufferText, 1, wxEXPAND);
  buffer->Add(new wxStaticText(this, wxID_ANY, "KBytes"), 0, wxALIGN_CENTER_VERTICAL);
  buffer->Add(new wxStaticText(this, wxID_ANY, "Progress"), 0, wxALIGN_CENTER_VERTICAL);
  buffer->Add(acqBar, 1, wxEXPAND);
  buffer->Add(acqText, 0, wxALIGN_CENTER_VERTICAL);
  auto* decode = new wxFlexGridSizer(3, 5, 5);
  decode->AddGrowableCol(1);
  decode->Add(new wxStaticText(this, wxID_ANY, "Progress"), 0, wxALIGN_CENTER_VERTICAL);
  decode->Add(decBar, 1, wxEXPAND);
  decode->Add(decText, 0, wxALIGN_CENTER_VERTICAL);

  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(heading(this, "(Optional) Connect/Disconnect"), 0, wxALL, 8);
  sizer->Add(buttonRow({connectBtn, disconnBtn}), 0, wxEXPAND | wxBOTTOM, 8);
  sizer->Add(new ThBorder(this), 0, wxEXPAND);
  sizer->Add(heading(this, "Buffer"), 0, wxALL, 8);
  sizer->Add(buffer, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);
  sizer->Add(new ThBorder(this), 0, wxEXPAND);
  sizer->Add(heading(this, "Decompress"), 0, wxALL, 8);
  sizer->Add(decode, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);
  sizer->Add(new ThBorder(this), 0, wxEXPAND);
  sizer->Add(buttonRow({startStopBtn, okBtn, cancelBtn}), 0, wxEXPAND | wxTOP | wxBOTTOM, 12);
  SetSizer(sizer);

  connectBtn->Bind(wxEVT_BUTTON, &TctlPage::onConnectBtn, this);
  disconnBtn->Bind(wxEVT_BUTTON, &TctlPage::onDisconnBtn, this);
  startStopBtn->Bind(wxEVT_BUTTON, &TctlPage::onStartStop, this);
  okBtn->Bind(wxEVT_BUTTON, &TctlPage::onOK, this);
  cancelBtn->Bind(wxEVT_BUTTON, &TctlPage::onCancel, this);
  bufferText->Bind(wxEVT_CHAR, &TctlPage::onBufferChar, this);
}

void TctlPage::setStatusLine(const wxString& text) { footer.setStatusStr(text); }
void TctlPage::setIdLine(const wxString& text) { footer.setIdStr(text); }

void TctlPage::reportProblem(const wxString& text) {
  wxMessageBox(text, _G.productName, wxOK | wxICON_ERROR, this);
}

void TctlPage::showAcqProgress(const wxString& text, int percent) {
  acqText->SetLabel(text);
  acqBar->SetValue(percent);
}

void TctlPage::showDecProgress(const wxString& text, int percent) {
  decText->SetLabel(text);
  decBar->SetValue(percent);
}

void TctlPage::applyButtons(const TbuttonStates& buttons) {
  if (!buttons.apply) return;
  startStopBtn->SetLabel(buttons.startLabel);
  startStopBtn->Enable(buttons.start);
  bufferText->Enable(buttons.field);
  connectBtn->Enable(buttons.connect);
  disconnBtn->Enable(buttons.disconnect);
  if (buttons.okOn) okBtn->Enable();
  Layout();
}

wxString TctlPage::bufferField() const { return bufferText->GetValue(); }
void TctlPage::setBufferField(const wxString& text) { bufferText->ChangeValue(text); }

void TctlPage::bypassConnect(bool connect) { lo.low.setTargetConnected(connect); }

// Through this page's own dialog: a closed one may still wait for its deletion.
void TctlPage::onOK(wxCommandEvent&) {
  static_cast<TcaptureDialog*>(wxGetTopLevelParent(this))->gui->doExit(wxID_OK);
}

void TctlPage::onCancel(wxCommandEvent&) {
  static_cast<TcaptureDialog*>(wxGetTopLevelParent(this))->gui->doExit(wxID_CANCEL);
}

// Only digits are typed in: the field keeps whatever else was written back
// (the "_" separators), and the size is read from its digits alone.
void TctlPage::onBufferChar(wxKeyEvent& event) {
  const int key = event.GetKeyCode();
  const bool printable = key >= WXK_SPACE && key < WXK_DELETE;
  if (!printable || (key >= '0' && key <= '9') || event.HasModifiers()) event.Skip();
}
