#include "ovtoolbar.h"

#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/utils.h>

#include "ovglobs.h"
#include "ovhelppage.h"
#include "ovmainframe.h"
#include "ovviewrules.h"

Ttoolbar::Ttoolbar(wxWindow* parent, int id)
    : wxPanel(parent, id, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxNO_BORDER) {
  SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_MENU));
  captureBtn = new wxButton(this, 6007, "Capture");
  sofBtn = new wxButton(this, 6000, viewrules::sofLabel(_G.showSOFs));
  nakBtn = new wxButton(this, 6001, viewrules::nakLabel(_G.showNAKs));
  packetBtn = new wxButton(this, 6002, viewrules::packetLabel(_G.showPackets));
  helpBtn = new wxButton(this, wxID_HELP, "Help");
  exitBtn = new wxButton(this, wxID_EXIT, "Exit");
  // Exact fit: GTK would otherwise keep its padded width and clip the label in the square.
  zoomInBtn = new wxButton(this, 6003, "+", wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
  zoomOutBtn = new wxButton(this, 6004, "-", wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
  const wxSize square(captureBtn->GetSize().GetHeight(), captureBtn->GetSize().GetHeight());
  for (wxButton* b : {zoomInBtn, zoomOutBtn}) {
    b->SetMinSize(square);
    b->SetMaxSize(square);
  }

  auto* sizer = new wxBoxSizer(wxHORIZONTAL);
  for (wxButton* b : {captureBtn, sofBtn, nakBtn, packetBtn}) sizer->Add(b, 0, wxALL, 5);
  sizer->Add(0, 0, 1);
  for (wxButton* b : {helpBtn, exitBtn, zoomInBtn, zoomOutBtn}) sizer->Add(b, 0, wxALL, 5);
  SetSizerAndFit(sizer);

  captureBtn->Bind(wxEVT_BUTTON, &Ttoolbar::OnCapture, this);
  sofBtn->Bind(wxEVT_BUTTON, &Ttoolbar::OnSOF, this);
  nakBtn->Bind(wxEVT_BUTTON, &Ttoolbar::OnNAK, this);
  packetBtn->Bind(wxEVT_BUTTON, &Ttoolbar::OnPacket, this);
  helpBtn->Bind(wxEVT_BUTTON, &Ttoolbar::OnHelp, this);
  exitBtn->Bind(wxEVT_BUTTON, &Ttoolbar::OnExit, this);
  zoomInBtn->Bind(wxEVT_BUTTON, &Ttoolbar::OnZoomIn, this);
  zoomOutBtn->Bind(wxEVT_BUTTON, &Ttoolbar::OnZoomOut, this);
}

void Ttoolbar::OnCapture(wxCommandEvent&) { _G.pubSub.pub(topicDoCapture, 0); }

void Ttoolbar::OnSOF(wxCommandEvent&) {
  _G.showSOFs = !_G.showSOFs;
  sofBtn->SetLabel(viewrules::sofLabel(_G.showSOFs));
  _G.pubSub.pub(topicVisRowsChanged, 0);
}

void Ttoolbar::OnNAK(wxCommandEvent&) {
  _G.showNAKs = !_G.showNAKs;
  nakBtn->SetLabel(viewrules::nakLabel(_G.showNAKs));
  _G.pubSub.pub(topicVisRowsChanged, 0);
}

void Ttoolbar::OnPacket(wxCommandEvent&) {
  _G.showPackets = !_G.showPackets;
  packetBtn->SetLabel(viewrules::packetLabel(_G.showPackets));
  _G.pubSub.pub(topicVisRowsChanged, 0);
}

void Ttoolbar::OnHelp(wxCommandEvent&) { openHelpPage(this); }

void Ttoolbar::OnExit(wxCommandEvent&) {
  if (evilMainFramePtr) evilMainFramePtr->Close();
}

void Ttoolbar::OnZoomIn(wxCommandEvent&) { _G.pubSub.pub(topicZoom, +1); }
void Ttoolbar::OnZoomOut(wxCommandEvent&) { _G.pubSub.pub(topicZoom, -1); }
