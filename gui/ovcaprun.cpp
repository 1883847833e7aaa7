#include "ovcaprun.h"

#include "capture/ovcapdlg.h"

wxWindow* openCaptureDialog(wxWindow* parent, TcaptureSink& sink) {
  auto* dialog = new TcaptureDialog(parent, sink);
  dialog->Show();
  return dialog;
}
