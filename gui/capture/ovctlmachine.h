// The capture dialog's state machine, run by its 300 ms timer over the capture
// thread, with a faster poll that decodes the capture as it arrives and hands
// the rows to the main window. It reaches the windows only through TctlView
// and TcaptureSink, so it runs without a display.
#pragma once

#include <wx/string.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "capture/ovcapsink.h"
#include "capture/ovctlrules.h"

class TloThread;
class TliveDecode;

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
  // A poll decodes for this long at most, so that the window stays responsive.
  static constexpr std::chrono::milliseconds pollBudget{20};

  TctlMachine(TloThread& lo, TctlView& view, TcaptureSink& sink, uint32_t bufferLimit);
  ~TctlMachine();

  void onTick();
  // Every few tens of milliseconds: decodes what the capture thread has added.
  void onPoll();
  void pressStartStop() { startStopPressed = true; }
  // The dialog is closing: a running or requested capture ends within one read, and the
  // sink keeps what it shows (ok) or shows again what it showed before the dialog.
  void close(bool ok);

  int32_t state() const { return ctlState; }
  uint32_t bufferKB = 32;
  uint64_t bufferBytes = 32768;

 private:
  void showHardware(bool changed);
  void startCapture();
  void finishDecode();
  void failDecode(const std::string& why);
  void setAcqProgress(uint64_t count);
  void setDecProgress(uint64_t count);
  void enterState(int32_t state);

  TloThread& lo;
  TctlView& view;
  TcaptureSink& sink;
  const uint32_t bufferLimit;
  int32_t ctlState = ctlInit;
  bool startStopPressed = false;
  // The running capture's decode, from its request until every byte is decoded.
  std::unique_ptr<TliveDecode> live;
  std::shared_ptr<Tcapture> capture;
  int shownDecPercent = -1;
  // Copied only on a tick that saw the hardware status change: the capture
  // thread writes it while it brings the device up.
  wxString serial = "unavailable";
};
