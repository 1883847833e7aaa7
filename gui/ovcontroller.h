// The file and capture actions of the main window, apart from the panes that
// draw the rows: reading, saving and exporting the shown capture, and the
// capture dialog whose captures the tree view shows.
#pragma once

#include <functional>
#include <string>

#include "ovliveshow.h"
#include "ovsessiondevices.h"
#include "ovsetremembering.h"
#include "ovshownsource.h"
#include "ovsubscription.h"

class TreeMidPane;
class wxWindow;

class Tcontroller {
 public:
  // shownChanged is called whenever source() changes.
  Tcontroller(TreeMidPane& view, std::function<void()> shownChanged);

  // Empty on success, else a sentence saying why; on failure what was shown stays.
  std::string open(const std::string& path);
  std::string save(const std::string& path);
  std::string exportPcap(const std::string& path);

  // Opens the capture dialog, or brings the open one to the front.
  void capture() { liveShow.open(); }
  bool captureDialogOpen() const { return liveShow.dialogOpen(); }
  // Closes the dialog as its Cancel does: what was shown when it opened comes back.
  void cancelCapture() { liveShow.cancel(); }

  const TshownSource& source() const { return shown; }

  // "Device descriptors...", the address preset when not negative: the decode texts are made
  // again with what the user gives.
  void deviceDescriptors(wxWindow* parent, int address = -1);
  // A window with an endpoint's stream; what is not preset (negative) is asked for.
  void endpointStream(wxWindow* parent, int address = -1, int endpoint = -1);

 private:
  // The sets the shown capture holds are remembered, and those remembered so far decode it.
  void rememberShown(const std::string& name);

  TreeMidPane& view;
  std::function<void()> shownChanged;
  TshownSource shown;
  TliveShow liveShow;
  TsessionDevices devices;
  TsetRemembering remembering;
  Tsubscription doCapture{topicDoCapture, [this](long) { capture(); }};
};
