#include "ovmainframe.h"

#include <wx/aboutdlg.h>
#include <wx/display.h>
#include <wx/filedlg.h>
#include <wx/menu.h>
#include <wx/sizer.h>

#include "ovfiltermenu.h"
#include "ovglobs.h"
#include "ovhelppage.h"
#include "ovmidpane.h"
#include "ovstatusbar.h"
#include "ovtitlepane.h"
#include "ovtoolbar.h"
#include "ovviewrules.h"

TmainFrame* evilMainFramePtr = nullptr;

namespace {

enum { idFileRead = 6005, idFileSave = 6006, idCapture = 6007, idExportPcap = 6008 };

const char* readWildcard =
    "OVD files (*.ovd)|*.ovd|pcap files (*.pcap;*.pcapng)|*.pcap;*.pcapng|All files (*.*)|*.*";
const char* saveWildcard = "OVD files (*.ovd)|*.ovd|All files (*.*)|*.*";
const char* pcapWildcard = "pcap files (*.pcap;*.pcapng)|*.pcap;*.pcapng|All files (*.*)|*.*";

// The chosen path as the file system spells it: the "C" locale of wx's GTK
// port would turn any non-ASCII name into an empty string.
bool askPath(wxWindow* parent, const wxString& message, const char* wildcard, long style, std::string& path) {
  wxFileDialog dialog(parent, message, "", "", wildcard, style);
  if (dialog.ShowModal() != wxID_OK) return false;
  path = std::string(dialog.GetPath().fn_str());
  return true;
}

}  // namespace

TmainFrame::TmainFrame(wxWindow* parent, wxWindowID id, const wxString& title, const wxPoint& pos,
                       const wxSize& size)
    : wxFrame(parent, id, title, pos, size, wxDEFAULT_FRAME_STYLE) {
  const int displayIx = wxDisplay::GetFromWindow(this);
  const wxRect area = wxDisplay(displayIx == wxNOT_FOUND ? 0u : unsigned(displayIx)).GetClientArea();
  SetClientSize(std::min(GetClientSize().GetWidth(), area.GetWidth() - 64), area.GetHeight() - 64);
  Centre(wxBOTH);
  SetFont(wxFontInfo(_G.fontPointSize < 0 ? -1 : _G.fontPointSize)
              .Family(wxFONTFAMILY_DEFAULT)
              .FaceName("Arial"));

  auto* fileMenu = new wxMenu;
  fileMenu->Append(idCapture, "&Capture");
  fileMenu->AppendSeparator();
  fileMenu->Append(idFileRead, "&Read data");
  fileMenu->Append(idFileSave, "&Save data");
  fileMenu->Append(idExportPcap, "&Export pcap");
  fileMenu->AppendSeparator();
  fileMenu->Append(wxID_EXIT, "&Exit");
  auto* helpMenu = new wxMenu;
  helpMenu->Append(wxID_HELP_CONTENTS, "&Help page\tF1");
  helpMenu->Append(wxID_ABOUT, "&About");
  auto* menuBar = new wxMenuBar;
  menuBar->Append(fileMenu, "&File");
  menuBar->Append(new TfilterMenu(this), "Fi&lter");
  menuBar->Append(helpMenu, "&Help");
  SetMenuBar(menuBar);
  Bind(wxEVT_MENU, &TmainFrame::OnFileRead, this, idFileRead);
  Bind(wxEVT_MENU, &TmainFrame::OnFileSave, this, idFileSave);
  Bind(wxEVT_MENU, &TmainFrame::OnExportPcap, this, idExportPcap);
  Bind(wxEVT_MENU, &TmainFrame::OnCapture, this, idCapture);
  Bind(
      wxEVT_MENU, [this](wxCommandEvent&) { openHelpPage(this); }, wxID_HELP_CONTENTS);
  Bind(wxEVT_MENU, &TmainFrame::OnAbout, this, wxID_ABOUT);
  Bind(wxEVT_MENU, &TmainFrame::OnExit, this, wxID_EXIT);
  Bind(wxEVT_CLOSE_WINDOW, &TmainFrame::OnClose, this);

  auto* panel = new wxPanel(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxNO_BORDER);
  auto* toolbar = new Ttoolbar(panel, wxID_ANY);
  midPane = new MidPane(panel, wxID_ANY);
  auto* toolbarRow = new wxBoxSizer(wxHORIZONTAL);
  toolbarRow->Add(toolbar, 1, wxEXPAND);
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(toolbarRow, 0, wxEXPAND);
  column->Add(new ThLine(panel), 0, wxEXPAND);
  column->Add(midPane, 1, wxEXPAND);
  column->Add(new TstatusBar(panel), 0, wxEXPAND);
  panel->SetSizerAndFit(column);
  panel->SetBackgroundColour(wxColour(47, 79, 79));

  SetMinSize(ClientToWindowSize(wxSize(650, toolbar->GetSize().GetHeight() + 375)));
  evilMainFramePtr = this;
  _G.pubSub.sub(topicZoom, [this](long direction) { zoom(static_cast<int>(direction)); });
  _G.pubSub.pub(topicSampleFileRead, reinterpret_cast<long>("./default.ovd"));
}

void TmainFrame::zoom(int direction) {
  wxFont font = GetFont();
  const int size = viewrules::zoomedPointSize(font.GetPointSize(), direction);
  font.SetPointSize(size);
  SetFont(font);
  midPane->zoom(size);
}

void TmainFrame::OnCapture(wxCommandEvent&) { _G.pubSub.pub(topicDoCapture, 0); }

void TmainFrame::OnFileRead(wxCommandEvent&) {
  std::string path;
  if (askPath(this, "Open saved sample data", readWildcard, wxFD_OPEN | wxFD_FILE_MUST_EXIST, path))
    _G.pubSub.pub(topicSampleFileRead, reinterpret_cast<long>(path.c_str()));
}

void TmainFrame::OnFileSave(wxCommandEvent&) {
  std::string path;
  if (askPath(this, "Save sample data", saveWildcard, wxFD_SAVE | wxFD_OVERWRITE_PROMPT, path))
    _G.pubSub.pub(topicSampleFileSave, reinterpret_cast<long>(path.c_str()));
}

void TmainFrame::OnExportPcap(wxCommandEvent&) {
  std::string path;
  if (askPath(this, "Export packets as pcap", pcapWildcard, wxFD_SAVE | wxFD_OVERWRITE_PROMPT, path))
    _G.pubSub.pub(topicExportPcap, reinterpret_cast<long>(path.c_str()));
}

void TmainFrame::OnAbout(wxCommandEvent&) {
  wxAboutDialogInfo info;
  info.SetName(_G.productShortName);
  info.SetVersion("1.0.9");
  info.SetDescription(wxString(_(" \nThe Capture and Display interface to the ")) + _G.productShortName +
                      _(" USB Protocol Analyzer."));
  info.SetCopyright(_G.legalNotice);
  info.SetIcon(GetIcon());
  wxAboutBox(info, this);
}

void TmainFrame::OnExit(wxCommandEvent&) { Close(true); }

void TmainFrame::OnClose(wxCloseEvent&) { Destroy(); }
