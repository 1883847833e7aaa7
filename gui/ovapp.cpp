#include "ovapp.h"

#include <wx/log.h>

#include <cstdio>
#include <cstring>

#include "decode/ovmemtune.h"
#include "ovglobs.h"
#include "ovicon.xpm"
#include "ovmainframe.h"

wxIMPLEMENT_APP_NO_MAIN(TovApp);

bool TovApp::OnInit() {
  if (!wxApp::OnInit()) return false;
  // GTK names files in UTF-8 whatever the locale; converting them through the
  // "C" locale would lose every non-ASCII letter of a path.
  wxConvFileName = &wxConvUTF8;
  _G.init();
  _G.productName = "Orlavex Tracewren";
  _G.productShortName = "Tracewren";
  _G.helpFile = "twr_help.html";
  _G.bufferLimit = 67108864;
  frame = new TmainFrame(nullptr, wxID_ANY, _G.productName, wxPoint(50, 50), wxSize(1400, 500));
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
  memtune::forLargeDecodes();
  wxDisableAsserts();
  wxLog::SetLogLevel(wxLOG_Info);
  return wxEntry(argc, argv);
}
