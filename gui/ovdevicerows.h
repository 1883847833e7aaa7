// The entries of the devices pane, made from a capture's device list: the
// capture on top, a device below it, its facts, interfaces and endpoints
// below that. Each entry names the rows selecting it shows.
#pragma once

#include <string>
#include <vector>

#include "decode/ovstats.h"
#include "files/ovdevicelist.h"
#include "ovrowfilter.h"

struct TdeviceRow {
  int depth = 0;  // 0 the capture, 1 a device, 2 what it holds, 3 an interface's endpoint
  std::string text;
  int device = -1;    // index in the device list; -1 for the capture
  TrowFilter filter;  // address and endpoint; every device for the capture
  int endpointAddress = -1;  // an endpoint's, with 0x80 for IN; -1 for what is no endpoint
  // The counts of its traffic, in the order of countTitles; empty for what has none.
  std::vector<std::string> counts;
  bool isEndpoint() const { return filter.endpoint >= 0; }
};

// The counts of the capture, a device and an endpoint number.
extern const std::vector<std::string> countTitles;

std::vector<TdeviceRow> deviceRows(const std::vector<TusbDevice>& devices, const TcaptureStats& stats);

// The entry to show for a filter set elsewhere (the Filter menu): current when it
// shows that filter's device already, else the first entry that does; -1 for none.
int rowOfFilter(const std::vector<TdeviceRow>& rows, const TrowFilter& filter, int current);
