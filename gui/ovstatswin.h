// The statistics window: the shown capture's counts per device and endpoint as
// a table, counted again on Refresh, and copied as aligned text on Copy.
#pragma once

#include <functional>
#include <memory>

class wxWindow;
class Tcapture;

// Opens the window over parent, or raises and recounts the one open already.
// shown: the capture the main window shows at the time of the call; none
// while a capture dialog adds to it.
void showStatsWindow(wxWindow* parent, std::function<std::shared_ptr<const Tcapture>()> shown);
