#include "capture/ovcapdlg.h"

#include <wx/notebook.h>
#include <wx/sizer.h>

#include "capture/ovcappanels.h"
#include "capture/ovctlpage.h"

namespace {

enum { idSnifferGui = 7001, idNotebook = 7002, idHelpPage = 7003, idCtlPage = 7004, idFooter = 7005 };
constexpr int tickMs = 300;
// Rows arrive on screen within two polls.
constexpr int pollMs = 25;

}  // namespace

TcaptureDialog::TcaptureDialog(wxWindow* parent, TcaptureSink& sink)
    : wxDialog(parent, wxID_ANY, "USB Packet Sniffer") {
  gui = new TsnifferGui(this, sink);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(gui, 1, wxEXPAND);
  SetSizer(sizer);
  // The controls measure with their fonts only once GTK has styled them, as the dialog is
  // shown: measured now, with the default font, the page comes out 32 pixels short, and
  // its last row (Start, OK, Cancel) would be laid out 2 pixels high. So it is shown with
  // room to spare, and fitted once the controls know their size.
  Fit();
  SetSize(GetSize() * 2);
  Bind(wxEVT_CLOSE_WINDOW, &TcaptureDialog::OnCloseWindow, this);
  Bind(wxEVT_SHOW, [this](wxShowEvent& event) {
    if (event.IsShown()) fixSize();
    event.Skip();
  });
}

void TcaptureDialog::fixSize() {
  SetMinSize(wxDefaultSize);
  SetMaxSize(wxDefaultSize);
  gui->InvalidateBestSize();
  Fit();
  SetMinSize(GetSize());
  SetMaxSize(GetSize());
  // At the window's right edge, over the decode pane: the rows stay in sight.
  const wxRect window = GetParent() ? GetParent()->GetScreenRect() : wxRect(GetPosition(), GetSize());
  Move(window.GetRight() - GetSize().x - 16, window.GetTop() + (window.GetHeight() - GetSize().y) / 2);
}

void TcaptureDialog::OnCloseWindow(wxCloseEvent&) { gui->doExit(wxID_CANCEL); }

TsnifferGui::TsnifferGui(wxWindow* parent, TcaptureSink& sink) : wxPanel(parent, idSnifferGui) {
  SetBackgroundColour(wxColour("#f0f0f0"));
  auto* footer = new Tfooter(this, idFooter);
  auto* notebook = new wxNotebook(this, idNotebook);
  ctlPage = new TctlPage(notebook, idCtlPage, GetFont(), *footer, sink);
  notebook->AddPage(ctlPage, "Control");
  notebook->AddPage(new ThelpPage(notebook, idHelpPage, GetFont()), "Help");
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(notebook, 1, wxEXPAND);
  sizer->Add(footer, 0, wxEXPAND | wxTOP, 5);
  SetSizer(sizer);
  Bind(wxEVT_TIMER, &TsnifferGui::onTick, this, ticks.GetId());
  Bind(wxEVT_TIMER, &TsnifferGui::onPoll, this, polls.GetId());
  ticks.Start(tickMs);
  polls.Start(pollMs);
}

void TsnifferGui::onTick(wxTimerEvent&) { ctlPage->onTick(); }
void TsnifferGui::onPoll(wxTimerEvent&) { ctlPage->onPoll(); }

void TsnifferGui::doExit(int code) {
  ticks.Stop();
  polls.Stop();
  ctlPage->close(code == wxID_OK);
  // Hidden at once; deleted, with the capture thread and the device, when the events that
  // led here are done.
  GetParent()->Destroy();
}
