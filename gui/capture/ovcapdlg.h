// The capture dialog: beside the main window, which shows its captures as
// they run and stays usable meanwhile. It destroys itself as it closes.
#pragma once

#include <wx/dialog.h>
#include <wx/panel.h>
#include <wx/timer.h>

class TcaptureSink;
class TctlPage;

class TsnifferGui : public wxPanel {
 public:
  TsnifferGui(wxWindow* parent, TcaptureSink& sink);
  // Stops the timers and any capture, tells the sink, then closes the dialog with code.
  void doExit(int code);
  TctlPage* ctlPage;

 private:
  void onTick(wxTimerEvent&);
  void onPoll(wxTimerEvent&);
  // Stopped with the panel too, when the main window takes the dialog with it.
  wxTimer ticks{this};  // the state machine's
  wxTimer polls{this};  // the decode's, many times faster
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
