// The main window: menus, toolbar, and the panes below it.
#pragma once

#include <wx/frame.h>

class MidPane;

class TmainFrame : public wxFrame {
 public:
  TmainFrame(wxWindow* parent, wxWindowID id, const wxString& title, const wxPoint& pos, const wxSize& size);

  void zoom(int direction);

 private:
  void OnCapture(wxCommandEvent&);
  void OnFileRead(wxCommandEvent&);
  void OnFileSave(wxCommandEvent&);
  void OnAbout(wxCommandEvent&);
  void OnExit(wxCommandEvent&);
  void OnClose(wxCloseEvent&);

  MidPane* midPane;
};

// The one main frame once it is built, for the toolbar's Exit button.
extern TmainFrame* evilMainFramePtr;
