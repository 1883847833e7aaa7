// The "Control" page of the capture dialog: owns the capture thread for as
// long as the dialog is open, and shows what the state machine decides.
#pragma once

#include <wx/panel.h>

#include "capture/ovctlmachine.h"
#include "hardware/ovlothrd.h"

class wxButton;
class wxGauge;
class wxStaticText;
class wxTextCtrl;
class Tfooter;

class TctlPage : public wxPanel, public TctlView {
 public:
  TctlPage(wxWindow* parent, int id, const wxFont& font, Tfooter& footer, TcaptureSink& sink);

  void onTick() { machine.onTick(); }
  void onPoll() { machine.onPoll(); }
  void close(bool ok) { machine.close(ok); }

  // TctlView
  void setStatusLine(const wxString& text) override;
  void reportProblem(const wxString& text) override;
  void setIdLine(const wxString& text) override;
  void showAcqProgress(const wxString& text, int percent) override;
  void showDecProgress(const wxString& text, int percent) override;
  void applyButtons(const TbuttonStates& buttons) override;
  wxString bufferField() const override;
  void setBufferField(const wxString& text) override;

  TloThread lo;

 private:
  void bypassConnect(bool connect);
  void onConnectBtn(wxCommandEvent&) { bypassConnect(true); }
  void onDisconnBtn(wxCommandEvent&) { bypassConnect(false); }
  void onStartStop(wxCommandEvent&) { machine.pressStartStop(); }
  void onOK(wxCommandEvent&);
  void onCancel(wxCommandEvent&);
  void onBufferChar(wxKeyEvent& event);

  Tfooter& footer;
  TctlMachine machine;
  wxTextCtrl* bufferText;
  wxGauge* acqBar;
  wxGauge* decBar;
  wxStaticText* acqText;
  wxStaticText* decText;
  wxButton* connectBtn;
  wxButton* disconnBtn;
  wxButton* startStopBtn;
  wxButton* okBtn;
  wxButton* cancelBtn;
};
