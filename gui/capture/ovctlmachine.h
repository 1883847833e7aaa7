// The capture dialog's state machine, run by its 300 ms timer over the capture
// thread and the decode thread. It reaches the window only through TctlView,
// so it runs without a display.
#pragma once

#include <wx/string.h>

#include <cstdint>

#include "capture/ovctlrules.h"

class TloThread;
class TexThread;

class TctlView {
 public:
  virtual ~TctlView() = default;
  virtual void setStatusLine(const wxString& text) = 0;
  // A failure the user must not miss (the status line is easily overlooked).
  virtual void reportProblem(const wxString& text) = 0;
  virtual void setIdLine(const wxString& text) = 0;
  virtual void showAcqProgress(const wxString& text, int percent) = 0;
  virtual void showDecProgress(const wxString& text, int percent) = 0;
  virtual void applyButtons(const TbuttonStates& buttons) = 0;
  virtual wxString bufferField() const = 0;
  virtual void setBufferField(const wxString& text) = 0;
};

class TctlMachine {
 public:
  TctlMachine(TloThread& lo, TexThread& ex, TctlView& view, uint32_t bufferLimit);

  void onTick();
  void pressStartStop() { startStopPressed = true; }
  // The dialog is closing: a running or requested capture ends within one read.
  void abandon();

  int32_t state() const { return ctlState; }
  uint32_t bufferKB = 32;
  uint64_t bufferBytes = 32768;

 private:
  void showHardware(bool changed);
  void startCapture();
  void startDecode();
  void setAcqProgress(uint64_t count);
  void setDecProgress(uint64_t count);
  void enterState(int32_t state);

  TloThread& lo;
  TexThread& ex;
  TctlView& view;
  const uint32_t bufferLimit;
  int32_t ctlState = ctlInit;
  bool startStopPressed = false;
  // Copied only on a tick that saw the hardware status change: the capture
  // thread writes it while it brings the device up.
  wxString serial = "unavailable";
};
