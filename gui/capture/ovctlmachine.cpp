#include "capture/ovctlmachine.h"

#include <algorithm>

#include "decode/ovexthrd.h"
#include "hardware/ovlothrd.h"

TctlMachine::TctlMachine(TloThread& lo, TexThread& ex, TctlView& view, uint32_t bufferLimit)
    : lo(lo), ex(ex), view(view), bufferLimit(bufferLimit) {}

void TctlMachine::onTick() {
  const bool changed = lo.hardwareChanged.exchange(false);
  if (ctlState == ctlInit || changed) showHardware(changed);
  switch (ctlState) {
    case ctlReady:
      if (startStopPressed) startCapture();
      break;
    case ctlAcquiring:
      setAcqProgress(lo.captureCount);
      if (startStopPressed) {
        startStopPressed = false;
        lo.stop = true;
      }
      // Until the thread has taken the run request, captureDone may still be the last capture's.
      if (!lo.run && lo.captureDone) startDecode();
      break;
    case ctlDecoding:
      setDecProgress(ex.progress);
      if (ex.done) enterState(ctlDecoded);
      break;
    case ctlDecoded:
      enterState(ctlReady);
      break;
    default:
      break;
  }
}

void TctlMachine::abandon() { lo.stop = true; }

void TctlMachine::showHardware(bool changed) {
  // A press from before this status must not start a capture by itself later.
  startStopPressed = false;
  const int32_t status = lo.hardwareStatus;
  view.setStatusLine(hardwareStatusText(status));
  if (changed) serial = wxString::FromUTF8(lo.serialCopy());
  view.setIdLine("Hardware Serial: " + serial);
  view.showAcqProgress("0 Bytes", 0);
  view.showDecProgress("0%", 0);
  enterState(status == TloThread::statusReady ? ctlReady : ctlNoHardware);
}

void TctlMachine::startCapture() {
  startStopPressed = false;
  // Clears what the last run reported (it may have lacked memory): the device is ready.
  view.setStatusLine(hardwareStatusText(TloThread::statusReady));
  bufferKB = clampBufferKB(wxstr2num(view.bufferField()), bufferLimit);
  view.setBufferField(num2str(bufferKB));
  bufferBytes = uint64_t(bufferKB) * 1024;
  setAcqProgress(0);
  setDecProgress(0);
  lo.buffer.clear();
  lo.captureCount = 0;
  lo.needed = static_cast<uint32_t>(bufferBytes);
  // A Stop pressed as the last capture ended must not end this one.
  lo.stop = false;
  lo.run = true;
  enterState(ctlAcquiring);
}

void TctlMachine::startDecode() {
  setAcqProgress(lo.captureCount);
  if (ex.startDecode(&lo.buffer)) {
    enterState(ctlDecoding);
    return;
  }
  // Nothing decoded (no memory for the buffer, no byte captured, or the decode
  // failed): the earlier results stay, and so does OK.
  const int32_t status = lo.hardwareStatus;
  const std::string failure = ex.failureText();
  const wxString decodeFailed = "Decoding failed: " + wxString::FromUTF8(failure);
  view.setStatusLine(status != TloThread::statusReady ? hardwareStatusText(status)
                     : failure.empty()                ? wxString("Nothing was captured")
                                                      : decodeFailed);
  // Without memory for the buffer the device is still ready: a smaller buffer may fit.
  const bool deviceReady = status == TloThread::statusReady || status == TloThread::statusNoMemory;
  ctlState = deviceReady ? ctlReady : ctlNoHardware;
  TbuttonStates buttons = buttonStates(ctlState);
  buttons.ok = TbuttonStates::okKeep;
  view.applyButtons(buttons);
  // Last: the box runs the event loop, and with it this machine's timer.
  if (!failure.empty()) view.reportProblem(decodeFailed + ". The data decoded before is kept.");
}

void TctlMachine::setAcqProgress(uint64_t count) {
  const uint64_t c = std::min(count, bufferBytes);
  view.showAcqProgress(num2str(c) + " Bytes", progressPercent(c, bufferBytes));
}

void TctlMachine::setDecProgress(uint64_t count) {
  const uint64_t captured = lo.captureCount;
  const int percent = progressPercent(std::min(count, captured), captured);
  view.showDecProgress(num2str(percent) + "%", percent);
}

void TctlMachine::enterState(int32_t state) {
  ctlState = state;
  view.applyButtons(buttonStates(state));
}
