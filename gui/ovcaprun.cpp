#include "ovcaprun.h"

#include "capture/ovcapdlg.h"

TcaptureResult runCaptureDialog() {
  TcaptureDialog dialog;
  return {dialog.ok, dialog.trees, dialog.rows};
}
