#include "ovapp.h"

#include <wx/config.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/stdpaths.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "decode/ovmemtune.h"
#include "ovglobs.h"
#include "ovicon.xpm"
#include "ovmainframe.h"

wxIMPLEMENT_APP_NO_MAIN(TovApp);

namespace {

// The file named on the command line, as the file system spells it.
std::string fileToOpen;

}  // namespace

bool TovApp::OnInit() {
  if (!wxApp::OnInit()) return false;
  // GTK names files in UTF-8 whatever the locale; converting them through the
  // "C" locale would lose every non-ASCII letter of a path.
  wxConvFileName = &wxConvUTF8;
  // $XDG_CONFIG_HOME/tracewren/tracewren.conf, or under ~/.config; wx makes no folder.
  wxStandardPaths::Get().SetFileLayout(wxStandardPaths::FileLayout_XDG);
  const wxString configDir = wxStandardPaths::Get().GetUserConfigDir() + "/tracewren";
  wxFileName::Mkdir(configDir, wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
  wxConfig::Set(
      new wxFileConfig("tracewren", "", configDir + "/tracewren.conf", "", wxCONFIG_USE_LOCAL_FILE));
  _G.init();
  _G.productName = "Orlavex Tracewren";
  _G.productShortName = "Tracewren";
  _G.helpFile = "twr_help.html";
  _G.bufferLimit = 67108864;
  frame = new TmainFrame(nullptr, wxID_ANY, _G.productName, wxPoint(50, 50), wxSize(1400, 500), fileToOpen);
  frame->SetIcon(wxIcon(ovicon_xpm));
  frame->Show(true);
  return true;
}

int main(int argc, char** argv) {
  // Answered before the toolkit starts, so that it needs no display.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("tracewren %s\n", TWR_VERSION);
    return 0;
  }
  // A last argument that is no option names the file to show; the toolkit's own options
  // come before it.
  if (argc >= 2 && argv[argc - 1][0] != '-') fileToOpen = argv[--argc];
  memtune::forLargeDecodes();
  wxDisableAsserts();
  wxLog::SetLogLevel(wxLOG_Info);
  return wxEntry(argc, argv);
}
