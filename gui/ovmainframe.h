// The main window: menus, toolbar, and the panes below it.
#pragma once

#include <wx/frame.h>

#include <memory>
#include <string>

#include "ovsubscription.h"

class MidPane;
class Tcontroller;

class TmainFrame : public wxFrame {
 public:
  TmainFrame(wxWindow* parent, wxWindowID id, const wxString& title, const wxPoint& pos, const wxSize& size);
  ~TmainFrame() override;

  void zoom(int direction);

 private:
  void OnCapture(wxCommandEvent&);
  void OnFileRead(wxCommandEvent&);
  void OnFileSave(wxCommandEvent&);
  void OnExportPcap(wxCommandEvent&);
  void OnAbout(wxCommandEvent&);
  void OnExit(wxCommandEvent&);
  void OnClose(wxCloseEvent&);

  // Shows a problem the user should know of; nothing when it is empty.
  void report(const std::string& problem);

  MidPane* midPane;
  std::unique_ptr<Tcontroller> controller;
  Tsubscription zoomed;
};

// The one main frame once it is built, for the toolbar's Exit button.
extern TmainFrame* evilMainFramePtr;
