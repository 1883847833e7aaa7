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
      if (lo.captureDone) startDecode();
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
  // A press or a request from before this status must not start a capture by itself later,
  // nor run one behind the dialog's back; nor may a capture the thread took just before it.
  startStopPressed = false;
  if (changed && !lo.withdrawRequest() && lo.captureBusy()) lo.stop = true;
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
  const uint32_t largestKB = largestBufferKB(bufferLimit);
  const uint32_t kb = wxstr2num(view.bufferField());
  if (kb > largestKB) {
    // Refused rather than cut, so that nobody captures less than they believe.
    view.setBufferField(num2str(largestKB));
    view.setStatusLine("Buffer Size too large: at most " + num2str(largestKB) + " KBytes");
    return;
  }
  // Clears what the last run reported (it may have lacked memory): the device is ready.
  view.setStatusLine(hardwareStatusText(TloThread::statusReady));
  bufferKB = std::max(kb, smallestBufferKB);
  view.setBufferField(num2str(bufferKB));
  bufferBytes = uint64_t(bufferKB) * 1024;
  setAcqProgress(0);
  setDecProgress(0);
  // A Stop pressed as the last capture ended must not end this one.
  if (!lo.captureBusy()) lo.stop = false;
  switch (lo.requestCapture(bufferBytes)) {
    case TloThread::Trequest::accepted:
      enterState(ctlAcquiring);
      break;
    case TloThread::Trequest::noMemory:
      // The device is still ready: a smaller buffer may fit.
      view.setStatusLine(hardwareStatusText(TloThread::statusNoMemory));
      break;
    case TloThread::Trequest::busy:
      view.setStatusLine("The last capture is still ending: press Start again");
      break;
  }
}

void TctlMachine::startDecode() {
  setAcqProgress(lo.captureCount);
  if (ex.startDecode(&lo.takeCapture())) {
    enterState(ctlDecoding);
    return;
  }
  // Nothing decoded (no byte captured, or the decode failed): the earlier
  // results stay, and so does OK.
  const int32_t status = lo.hardwareStatus;
  const std::string failure = ex.failureText();
  const wxString decodeFailed = "Decoding failed: " + wxString::FromUTF8(failure);
  view.setStatusLine(status != TloThread::statusReady ? hardwareStatusText(status)
                     : failure.empty()                ? wxString("Nothing was captured")
                                                      : decodeFailed);
  enterState(status == TloThread::statusReady ? ctlReady : ctlNoHardware);
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
