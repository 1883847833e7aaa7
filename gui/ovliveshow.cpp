#include "ovliveshow.h"

#include "ovcaprun.h"
#include "ovstatustext.h"
#include "ovtreepane.h"

TliveShow::~TliveShow() { delete dialog; }

void TliveShow::open() {
  if (dialog) return dialog->Raise();
  dialog = openCaptureDialog(wxGetTopLevelParent(&view), *this);
}

void TliveShow::cancel() {
  if (dialog) dialog->Close(true);
}

TliveShow::Tsaved TliveShow::takeShown() { return {view.takeShown(), view.top(), view.source()}; }

void TliveShow::bringBack(std::optional<Tsaved>& saved) {
  if (!saved) return;
  view.restoreShown(std::move(saved->shown), saved->top, std::move(saved->source));
  saved.reset();
}

void TliveShow::captureStarted(const std::shared_ptr<Tcapture>& capture) {
  // Once a capture of this dialog is shown, it is what a later capture replaces.
  if (opened)
    lastKept = takeShown();
  else
    opened = takeShown();
  view.showCapture(capture);
  view.setSource(capturingText(0), true);
  endedSource = capturedText();
}

void TliveShow::captureProgress(std::size_t firstChanged, uint64_t capturedBytes) {
  view.rowsChanged(firstChanged);
  view.setSource(capturingText(capturedBytes), false);
}

void TliveShow::captureEnded(bool kept, const std::string& cutShort) {
  if (kept) {
    lastKept.reset();
    endedSource = capturedText(cutShort);
    return view.setSource(endedSource, true);
  }
  bringBack(lastKept ? lastKept : opened);
}

void TliveShow::dialogClosed(bool ok) {
  dialog = nullptr;
  if (!ok) bringBack(opened);
  const bool captureKept = ok && opened;
  if (opened) view.setSource(endedSource, true);
  opened.reset();
  lastKept.reset();
  if (captureKept) kept();
}
