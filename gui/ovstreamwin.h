// A window with the data one endpoint moved, as its receiver took it: a run
// of payloads a line after its time, as quoted text or as hex, and Save.
#pragma once

#include <wx/frame.h>

#include "decode/ovstream.h"
#include "decode/ovstreamtext.h"

class wxCheckBox;
class wxTextCtrl;

class TstreamWindow : public wxFrame {
 public:
  TstreamWindow(wxWindow* parent, const Tcapture& capture, unsigned address, unsigned endpoint);

 private:
  TstreamForm form() const;
  void showRuns();
  void onSave(wxCommandEvent&);

  unsigned address, endpoint;
  TendpointStream stream;
  wxCheckBox* hex;
  wxTextCtrl* runs;
};

// Opens a stream window; asks for the address and the endpoint (0x82 for IN 2) first
// unless both are given (not negative).
void openStreamWindow(wxWindow* parent, const Tcapture& capture, int address = -1, int endpoint = -1);
