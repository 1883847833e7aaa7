#include "ovmainframe.h"

#include <wx/aboutdlg.h>
#include <wx/config.h>
#include <wx/display.h>
#include <wx/filedlg.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>

#include <filesystem>

#include "ovcontroller.h"
#include "ovdevicespane.h"
#include "ovedit.h"
#include "ovfiledrop.h"
#include "ovfiltermenu.h"
#include "ovfindbar.h"
#include "ovglobs.h"
#include "ovhelppage.h"
#include "ovmidpane.h"
#include "ovstatswin.h"
#include "ovstatusbar.h"
#include "ovtimelinestrip.h"
#include "ovtitlepane.h"
#include "ovtoolbar.h"
#include "ovtreepane.h"
#include "ovviewrules.h"
#include "ovwxtext.h"

TmainFrame* evilMainFramePtr = nullptr;

namespace {

enum {
  idFileRead = 6005,
  idFileSave = 6006,
  idCapture = 6007,
  idExportPcap = 6008,
  idZoomIn = 6009,
  idZoomOut = 6010,
  idDeviceDescriptors = 6011,
  idEndpointStream = 6012,
  idStatistics = 6013
};

const char* readWildcard =
    "Captures (*.ovd;*.pcap;*.pcapng;*.raw)|*.ovd;*.pcap;*.pcapng;*.raw|OVD files (*.ovd)|*.ovd|"
    "pcap files (*.pcap;*.pcapng)|*.pcap;*.pcapng|All files (*.*)|*.*";
const char* saveWildcard = "OVD files (*.ovd)|*.ovd|All files (*.*)|*.*";
const char* pcapWildcard = "pcap files (*.pcap;*.pcapng)|*.pcap;*.pcapng|All files (*.*)|*.*";
const char* recentGroup = "/Recent";

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
                       const wxSize& size, const std::string& file)
    : wxFrame(parent, id, title, pos, size, wxDEFAULT_FRAME_STYLE),
      settings(loadWindowSettings(*wxConfig::Get())),
      zoomed(topicZoom, [this](long direction) { zoom(static_cast<int>(direction)); }) {
  fitToDisplay(settings);
  SetFont(wxFontInfo(_G.fontPointSize < 0 ? -1 : _G.fontPointSize)
              .Family(wxFONTFAMILY_DEFAULT)
              .FaceName("Arial"));
  buildMenus();

  auto* panel = new wxPanel(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxNO_BORDER);
  auto* toolbar = new Ttoolbar(panel, wxID_ANY);
  devicesSplit = new TdevicesSplitter(panel);
  midPane = new MidPane(devicesSplit, wxID_ANY, settings.rightColumn, settings.dataHeight);
  devicesSplit->splitWith(
      midPane, midPane->tree(),
      {[this](int address) { controller->deviceDescriptors(this, address); },
       [this](int address, int endpoint) { controller->endpointStream(this, address, endpoint); },
       [this] { return controller && controller->captureDialogOpen(); }},
      settings.devicesWidth);
  auto* toolbarRow = new wxBoxSizer(wxHORIZONTAL);
  toolbarRow->Add(toolbar, 1, wxEXPAND);
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(toolbarRow, 0, wxEXPAND);
  column->Add(new ThLine(panel), 0, wxEXPAND);
  column->Add(new TimelineStrip(panel, midPane->tree()), 0, wxEXPAND);
  column->Add(devicesSplit, 1, wxEXPAND);
  auto* findBar =
      new TfindBar(panel, midPane->tree(), [this] { return controller && controller->captureDialogOpen(); });
  column->Add(findBar, 0, wxEXPAND);
  column->Add(new TstatusBar(panel), 0, wxEXPAND);
  panel->SetSizerAndFit(column);
  panel->SetBackgroundColour(wxColour(47, 79, 79));
  GetMenuBar()->Insert(1, makeEditMenu(*this, *findBar, midPane->tree()), "&Edit");

  SetMinSize(ClientToWindowSize(wxSize(650, toolbar->GetSize().GetHeight() + 375)));
  if (settings.pointSize) setPointSize(settings.pointSize);
  evilMainFramePtr = this;
  controller = std::make_unique<Tcontroller>(midPane->tree(), [this] { shownChanged(); });
  SetDropTarget(new TfileDrop(*this, [this](const std::string& path) { openFile(path); }));

  // A missing default file at start-up is normal; any other that cannot be read is not,
  // and says so once the window is there.
  const std::string shown = file.empty() ? "./default.ovd" : file;
  if (file.empty() && !std::filesystem::exists(shown)) return;
  const std::string problem = controller->open(shown);
  if (!problem.empty()) CallAfter([this, problem] { report(problem); });
}

TmainFrame::~TmainFrame() {
  // Its capture dialog reports to the panes as it closes.
  controller.reset();
  evilMainFramePtr = nullptr;
}

void TmainFrame::buildMenus() {
  auto* recentMenu = new wxMenu;
  auto* fileMenu = new wxMenu;
  fileMenu->Append(idCapture, "&Capture");
  fileMenu->AppendSeparator();
  fileMenu->Append(idFileRead, "&Read data\tCtrl+O");
  fileMenu->AppendSubMenu(recentMenu, "Open &recent");
  fileMenu->Append(idFileSave, "&Save data\tCtrl+S");
  fileMenu->Append(idExportPcap, "&Export pcap\tCtrl+E");
  fileMenu->AppendSeparator();
  fileMenu->Append(wxID_EXIT, "&Exit\tCtrl+Q");
  auto* viewMenu = new wxMenu;
  viewMenu->Append(idZoomIn, "Zoom &in\tCtrl++");
  viewMenu->Append(idZoomOut, "Zoom &out\tCtrl+-");
  auto* devicesMenu = new wxMenu;
  devicesMenu->Append(idDeviceDescriptors, "Device &descriptors...");
  devicesMenu->Append(idEndpointStream, "Endpoint &stream...");
  viewMenu->AppendSeparator();
  viewMenu->Append(idStatistics, "&Statistics...");
  auto* helpMenu = new wxMenu;
  helpMenu->Append(wxID_HELP_CONTENTS, "&Help page\tF1");
  helpMenu->Append(wxID_ABOUT, "&About");
  auto* menuBar = new wxMenuBar;
  menuBar->Append(fileMenu, "&File");
  menuBar->Append(viewMenu, "&View");
  menuBar->Append(new TfilterMenu(this), "Fi&lter");
  menuBar->Append(devicesMenu, "&Devices");
  menuBar->Append(helpMenu, "&Help");
  SetMenuBar(menuBar);
  // Zoom keys as people press them: Ctrl+= is Ctrl+Plus without Shift, and the keypad's.
  wxAcceleratorEntry zoomKeys[] = {{wxACCEL_CTRL, '=', idZoomIn},
                                   {wxACCEL_CTRL, WXK_NUMPAD_ADD, idZoomIn},
                                   {wxACCEL_CTRL, WXK_NUMPAD_SUBTRACT, idZoomOut}};
  SetAcceleratorTable(wxAcceleratorTable(3, zoomKeys));

  wxConfigBase& config = *wxConfig::Get();
  config.SetPath(recentGroup);
  recent.Load(config);
  config.SetPath("/");
  recent.UseMenu(recentMenu);
  recent.AddFilesToMenu(recentMenu);

  Bind(wxEVT_MENU, &TmainFrame::OnFileRead, this, idFileRead);
  Bind(wxEVT_MENU, &TmainFrame::OnFileSave, this, idFileSave);
  Bind(wxEVT_MENU, &TmainFrame::OnRecent, this, wxID_FILE1, wxID_FILE9);
  Bind(wxEVT_MENU, &TmainFrame::OnExportPcap, this, idExportPcap);
  Bind(wxEVT_MENU, &TmainFrame::OnCapture, this, idCapture);
  Bind(
      wxEVT_MENU, [this](wxCommandEvent&) { zoom(+1); }, idZoomIn);
  Bind(
      wxEVT_MENU, [this](wxCommandEvent&) { zoom(-1); }, idZoomOut);
  Bind(
      wxEVT_MENU, [this](wxCommandEvent&) { openHelpPage(this); }, wxID_HELP_CONTENTS);
  Bind(
      wxEVT_MENU, [this](wxCommandEvent&) { controller->deviceDescriptors(this); }, idDeviceDescriptors);
  Bind(
      wxEVT_MENU, [this](wxCommandEvent&) { controller->endpointStream(this); }, idEndpointStream);
  Bind(
      wxEVT_MENU,
      [this](wxCommandEvent&) {
        showStatsWindow(this, [this] {
          const bool growing = controller->captureDialogOpen();
          return growing ? nullptr : midPane->tree().cache().sharedCapture();
        });
      },
      idStatistics);
  Bind(wxEVT_MENU, &TmainFrame::OnAbout, this, wxID_ABOUT);
  Bind(wxEVT_MENU, &TmainFrame::OnExit, this, wxID_EXIT);
  Bind(wxEVT_CLOSE_WINDOW, &TmainFrame::OnClose, this);
}

void TmainFrame::fitToDisplay(const TwindowSettings& s) {
  const int displayIx = wxDisplay::GetFromWindow(this);
  const wxRect area = wxDisplay(displayIx == wxNOT_FOUND ? 0u : unsigned(displayIx)).GetClientArea();
  if (s.width && s.height)
    SetSize(std::min(s.width, area.GetWidth()), std::min(s.height, area.GetHeight()));
  else
    SetClientSize(std::min(GetClientSize().GetWidth(), area.GetWidth() - 64), area.GetHeight() - 64);
  Centre(wxBOTH);
  if (s.maximized) Maximize();
}

void TmainFrame::report(const std::string& problem) {
  if (!problem.empty()) wxMessageBox(toWx(problem), _G.productName, wxOK | wxICON_ERROR, this);
}

void TmainFrame::zoom(int direction) {
  setPointSize(viewrules::zoomedPointSize(GetFont().GetPointSize(), direction));
}

void TmainFrame::setPointSize(int size) {
  wxFont font = GetFont();
  font.SetPointSize(size);
  SetFont(font);
  midPane->zoom(size);
}

void TmainFrame::openFile(const std::string& path) {
  // While the capture dialog is open, the controller refuses before anything is asked.
  if (controller->captureDialogOpen() || mayDropCapture("opening another file"))
    report(controller->open(path));
}

bool TmainFrame::mayDropCapture(const char* when) {
  if (!controller->source().unsaved()) return true;
  wxMessageDialog ask(this,
                      wxString::Format("The capture kept with OK was never saved. Save it before %s?", when),
                      _G.productName, wxYES_NO | wxCANCEL | wxICON_WARNING);
  ask.SetYesNoCancelLabels("&Save", "&Discard", "&Cancel");
  switch (ask.ShowModal()) {
    case wxID_NO:
      return true;
    case wxID_YES:
      // The capture to save is the one kept, not one the dialog is taking.
      controller->cancelCapture();
      return saveAs();
    default:
      return false;
  }
}

bool TmainFrame::saveAs() {
  std::string path;
  if (!askPath(this, "Save sample data", saveWildcard, wxFD_SAVE | wxFD_OVERWRITE_PROMPT, path)) return false;
  const std::string problem = controller->save(path);
  report(problem);
  return problem.empty();
}

void TmainFrame::shownChanged() {
  const TshownSource& source = controller->source();
  SetTitle(toWx(source.title(_G.productName)));
  if (source.path().empty()) return;
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(source.path(), ec);
  recent.AddFileToHistory(toWx(ec ? source.path() : absolute.string()));
}

void TmainFrame::remember() {
  // Settings that cannot be written are not worth a message as the window goes.
  wxLogNull quiet;
  wxConfigBase& config = *wxConfig::Get();
  settings.maximized = IsMaximized();
  // A maximized window keeps the size it comes back to.
  if (!settings.maximized) {
    settings.width = GetSize().GetWidth();
    settings.height = GetSize().GetHeight();
  }
  settings.devicesWidth = devicesSplit->GetSashPosition();
  midPane->sashes(settings.rightColumn, settings.dataHeight);
  settings.pointSize = GetFont().GetPointSize();
  saveWindowSettings(config, settings);
  config.SetPath(recentGroup);
  recent.Save(config);
  config.SetPath("/");
  config.Flush();
}

void TmainFrame::OnCapture(wxCommandEvent&) { controller->capture(); }

void TmainFrame::OnFileRead(wxCommandEvent&) {
  std::string path;
  if (askPath(this, "Open saved sample data", readWildcard, wxFD_OPEN | wxFD_FILE_MUST_EXIST, path))
    openFile(path);
}

void TmainFrame::OnRecent(wxCommandEvent& event) {
  openFile(std::string(recent.GetHistoryFile(event.GetId() - wxID_FILE1).fn_str()));
}

void TmainFrame::OnFileSave(wxCommandEvent&) { saveAs(); }

void TmainFrame::OnExportPcap(wxCommandEvent&) {
  std::string path;
  if (askPath(this, "Export packets as pcap", pcapWildcard, wxFD_SAVE | wxFD_OVERWRITE_PROMPT, path))
    report(controller->exportPcap(path));
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

void TmainFrame::OnExit(wxCommandEvent&) { Close(); }

void TmainFrame::OnClose(wxCloseEvent& event) {
  if (event.CanVeto() && !mayDropCapture("closing")) return event.Veto();
  remember();
  Destroy();
}
