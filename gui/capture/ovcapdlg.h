// The capture dialog: beside the main window, which shows its captures as
// they run and stays usable meanwhile. It destroys itself as it closes.
#pragma once

#include <wx/dialog.h>
#include <wx/panel.h>

class wxTimer;
class wxTimerEvent;
class TcaptureSink;
class TctlPage;

class TsnifferGui : public wxPanel {
 public:
  TsnifferGui(wxWindow* parent, TcaptureSink& sink);
  // Stops the timers and any capture, tells the sink, then closes the dialog with code.
  void doExit(int code);
  TctlPage* ctlPage;

 private:
  void killTimers();
  wxTimer* ticks;  // the state machine's
  wxTimer* polls;  // the decode's, many times faster
};

class TcaptureDialog : public wxDialog {
 public:
  TcaptureDialog(wxWindow* parent, TcaptureSink& sink);
  // The dialog takes its content's size and cannot be resized; again after the content grew.
  void fixSize();
  TsnifferGui* gui;

 private:
  void OnCloseWindow(wxCloseEvent&);
};
