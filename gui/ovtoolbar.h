// The button bar above the panes: capture, the three row filters, help, exit
// and zoom.
#pragma once

#include <wx/button.h>
#include <wx/panel.h>

class Ttoolbar : public wxPanel {
 public:
  Ttoolbar(wxWindow* parent, int id);

 private:
  void OnCapture(wxCommandEvent&);
  void OnSOF(wxCommandEvent&);
  void OnNAK(wxCommandEvent&);
  void OnPacket(wxCommandEvent&);
  void OnHelp(wxCommandEvent&);
  void OnExit(wxCommandEvent&);
  void OnZoomIn(wxCommandEvent&);
  void OnZoomOut(wxCommandEvent&);

  wxButton* captureBtn;
  wxButton* sofBtn;
  wxButton* nakBtn;
  wxButton* packetBtn;
  wxButton* helpBtn;
  wxButton* exitBtn;
  wxButton* zoomInBtn;
  wxButton* zoomOutBtn;
};
