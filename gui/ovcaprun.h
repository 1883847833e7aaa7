// The capture dialog as the main window sees it: opened beside the window,
// it shows its captures through the sink until it closes. The program links
// the real dialog; tests link their own.
#pragma once

#include <wx/window.h>

#include "capture/ovcapsink.h"

// The open dialog, which destroys itself as it closes (after telling the sink), or nullptr
// when none stays open.
wxWindow* openCaptureDialog(wxWindow* parent, TcaptureSink& sink);
