// The main window: menus, toolbar, and the panes below it.
#pragma once

#include <wx/filehistory.h>
#include <wx/frame.h>

#include <memory>
#include <string>

#include "ovsubscription.h"
#include "ovwinsettings.h"

class MidPane;
class TdevicesSplitter;
class Tcontroller;

class TmainFrame : public wxFrame {
 public:
  // Shows file, or ./default.ovd when file is empty and there is one.
  TmainFrame(wxWindow* parent, wxWindowID id, const wxString& title, const wxPoint& pos, const wxSize& size,
             const std::string& file);
  ~TmainFrame() override;

  void zoom(int direction);
  // Shows the file; one that cannot be read says why, and what was shown stays.
  void openFile(const std::string& path);

 private:
  void OnCapture(wxCommandEvent&);
  void OnFileRead(wxCommandEvent&);
  void OnFileSave(wxCommandEvent&);
  void OnRecent(wxCommandEvent&);
  void OnExportPcap(wxCommandEvent&);
  void OnAbout(wxCommandEvent&);
  void OnExit(wxCommandEvent&);
  void OnClose(wxCloseEvent&);

  void buildMenus();
  void fitToDisplay(const TwindowSettings& settings);
  void setPointSize(int size);
  // Shows a problem the user should know of; nothing when it is empty.
  void report(const std::string& problem);
  // Whether the shown capture may go: it was saved, or the user said to save it (and that
  // worked) or to discard it. when: what would drop it, "closing" or "opening a file".
  bool mayDropCapture(const char* when);
  // Asks where to save and saves; false when the user gave no path or the save failed.
  bool saveAs();
  void shownChanged();
  void remember();

  MidPane* midPane;
  TdevicesSplitter* devicesSplit;
  std::unique_ptr<Tcontroller> controller;
  wxFileHistory recent{8};
  TwindowSettings settings;
  Tsubscription zoomed;
};

// The one main frame once it is built, for the toolbar's Exit button.
extern TmainFrame* evilMainFramePtr;
