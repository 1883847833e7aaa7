// The modal capture dialog: runs in the constructor and keeps its result.
#pragma once

#include <wx/dialog.h>
#include <wx/panel.h>

#include <memory>
#include <vector>

#include "decode/ovbase.h"

class wxTimer;
class wxTimerEvent;
class TctlPage;

class TcaptureDialog {
 public:
  // Returns when the dialog has closed and its capture thread and device are released.
  TcaptureDialog();

  bool ok = false;  // ended with OK; the lists below are then a fresh decode
  std::shared_ptr<TobjVec> objects;
  std::shared_ptr<TobjVec> trees;
  std::shared_ptr<std::vector<TlinRow>> rows;
};

class TsnifferGui : public wxPanel {
 public:
  explicit TsnifferGui(wxWindow* parent);
  void killTimer();
  // Stops the timer and any capture, then ends the dialog with code.
  void doExit(int code);
  TctlPage* ctlPage;

 private:
  void onTick(wxTimerEvent&);
  wxTimer* timer;
};

class TcaptureDialogInner : public wxDialog {
 public:
  TcaptureDialogInner();
  // The dialog takes its content's size and cannot be resized; again after the content grew.
  void fixSize();
  TsnifferGui* gui;

 private:
  void OnCloseWindow(wxCloseEvent&);
};
