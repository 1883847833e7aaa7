#include "capture/ovcapdlg.h"

#include <wx/notebook.h>
#include <wx/sizer.h>
#include <wx/timer.h>

#include "capture/ovcappanels.h"
#include "capture/ovctlpage.h"
#include "decode/ovexthrd.h"

namespace {

enum { idSnifferGui = 7001, idNotebook = 7002, idHelpPage = 7003, idCtlPage = 7004, idFooter = 7005 };
constexpr int tickMs = 300;

}  // namespace

TcaptureDialog::TcaptureDialog() {
  auto* inner = new TcaptureDialogInner;
  ok = inner->ShowModal() == wxID_OK;
  const TexThread& ex = inner->gui->ctlPage->ex;
  objects = ex.objects;
  trees = ex.trees;
  rows = ex.rows;
  // At once, not at idle time: the capture thread and the device go with the window.
  delete inner;
}

TcaptureDialogInner::TcaptureDialogInner() : wxDialog(nullptr, wxID_ANY, "USB Packet Sniffer") {
  gui = new TsnifferGui(this);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(gui, 1, wxEXPAND);
  SetSizer(sizer);
  // The controls measure with their fonts only once GTK has styled them, as the dialog is
  // shown: measured now, with the default font, the page comes out 32 pixels short, and
  // its last row (Start, OK, Cancel) would be laid out 2 pixels high. So it is shown with
  // room to spare, and fitted once the controls know their size.
  Fit();
  SetSize(GetSize() * 2);
  Bind(wxEVT_CLOSE_WINDOW, &TcaptureDialogInner::OnCloseWindow, this);
  Bind(wxEVT_SHOW, [this](wxShowEvent& event) {
    if (event.IsShown()) fixSize();
    event.Skip();
  });
}

void TcaptureDialogInner::fixSize() {
  SetMinSize(wxDefaultSize);
  SetMaxSize(wxDefaultSize);
  gui->InvalidateBestSize();
  Fit();
  SetMinSize(GetSize());
  SetMaxSize(GetSize());
  Centre();
}

void TcaptureDialogInner::OnCloseWindow(wxCloseEvent&) { gui->doExit(wxID_CANCEL); }

TsnifferGui::TsnifferGui(wxWindow* parent) : wxPanel(parent, idSnifferGui) {
  SetBackgroundColour(wxColour("#f0f0f0"));
  auto* footer = new Tfooter(this, idFooter);
  auto* notebook = new wxNotebook(this, idNotebook);
  ctlPage = new TctlPage(notebook, idCtlPage, GetFont(), *footer);
  notebook->AddPage(ctlPage, "Control");
  notebook->AddPage(new ThelpPage(notebook, idHelpPage, GetFont()), "Help");
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(notebook, 1, wxEXPAND);
  sizer->Add(footer, 0, wxEXPAND | wxTOP, 5);
  SetSizer(sizer);
  timer = new wxTimer(this);
  Bind(wxEVT_TIMER, &TsnifferGui::onTick, this);
  timer->Start(tickMs);
}

void TsnifferGui::killTimer() {
  if (!timer) return;
  timer->Stop();
  delete timer;
  timer = nullptr;
}

void TsnifferGui::doExit(int code) {
  killTimer();
  ctlPage->abandon();
  static_cast<wxDialog*>(GetParent())->EndModal(code);
}

void TsnifferGui::onTick(wxTimerEvent&) { ctlPage->onTick(); }
