#include "capture/ovctlmachine.h"

#include <algorithm>
#include <exception>
#include <new>

#include "hardware/ovlivedecode.h"
#include "hardware/ovlothrd.h"

TctlMachine::TctlMachine(TloThread& lo, TctlView& view, TcaptureSink& sink, uint32_t bufferLimit)
    : lo(lo), view(view), sink(sink), bufferLimit(bufferLimit) {}

TctlMachine::~TctlMachine() = default;

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
      // The polls decode the last bytes.
      if (lo.captureDone) enterState(ctlDecoding);
      break;
    case ctlDecoded:
      enterState(ctlReady);
      break;
    default:
      break;
  }
}

void TctlMachine::onPoll() {
  if (!live) return;
  bool finished = false;
  // Memory can run out as the capture grows: that ends this capture, not the program.
  try {
    finished = live->poll(pollBudget);
    sink.captureProgress(live->firstChangedRow(), lo.captureCount);
  } catch (const std::bad_alloc&) {
    return failDecode("out of memory");
  } catch (const std::exception& e) {
    return failDecode(e.what());
  }
  setDecProgress(live->decodedBytes());
  if (finished) finishDecode();
}

void TctlMachine::close(bool ok) {
  lo.stop = true;
  live.reset();
  capture.reset();
  sink.dialogClosed(ok);
}

void TctlMachine::showHardware(bool changed) {
  // A press or a request from before this status must not start a capture by itself later,
  // nor run one behind the dialog's back; nor may a capture the thread took just before it.
  // What it captured is still decoded and shown.
  startStopPressed = false;
  if (changed && !lo.withdrawRequest() && lo.captureBusy()) lo.stop = true;
  const int32_t status = lo.hardwareStatus;
  view.setStatusLine(hardwareStatusText(status));
  if (changed) serial = wxString::FromUTF8(lo.serialCopy());
  view.setIdLine("Hardware Serial: " + serial);
  view.showAcqProgress("0 Bytes", 0);
  setDecProgress(0);
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
  // The last capture's bytes stay until all of them are decoded.
  const TloThread::Trequest request = live ? TloThread::Trequest::busy : lo.requestCapture(bufferBytes);
  switch (request) {
    case TloThread::Trequest::accepted:
      capture = std::make_shared<Tcapture>();
      live = std::make_unique<TliveDecode>(lo, capture);
      sink.captureStarted(capture);
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

void TctlMachine::finishDecode() {
  const uint64_t captured = lo.captureCount;
  setAcqProgress(captured);
  const bool kept = capture->rowCount() != 0;
  // The window keeps the rows and trees; the bus events and objects go.
  live.reset();
  capture->releaseBusRecord();
  capture.reset();
  sink.captureEnded(kept);
  if (captured == 0) view.setStatusLine("Nothing was captured");
  if (ctlState == ctlAcquiring || ctlState == ctlDecoding) enterState(ctlDecoded);
}

void TctlMachine::failDecode(const std::string& why) {
  lo.stop = true;
  live.reset();
  capture.reset();
  sink.captureEnded(false);
  const int32_t status = lo.hardwareStatus;
  const wxString failed = "Decoding failed: " + wxString::FromUTF8(why);
  view.setStatusLine(failed);
  if (ctlState == ctlAcquiring || ctlState == ctlDecoding)
    enterState(status == TloThread::statusReady ? ctlReady : ctlNoHardware);
  // Last: the box runs the event loop, and with it this machine's timers.
  view.reportProblem(failed + ". The data decoded before is kept.");
}

void TctlMachine::setAcqProgress(uint64_t count) {
  const uint64_t c = std::min(count, bufferBytes);
  view.showAcqProgress(num2str(c) + " Bytes", progressPercent(c, bufferBytes));
}

void TctlMachine::setDecProgress(uint64_t count) {
  const uint64_t captured = lo.captureCount;
  const int percent = progressPercent(std::min(count, captured), captured);
  // Polled many times a second: the texts change only with the figure.
  if (percent == shownDecPercent) return;
  shownDecPercent = percent;
  view.showDecProgress(num2str(percent) + "%", percent);
}

void TctlMachine::enterState(int32_t state) {
  ctlState = state;
  view.applyButtons(buttonStates(state));
}
