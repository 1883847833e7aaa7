// Reading and saving sample files for the GUI, where a bad file must never end
// the program and a failure must never look like success.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "decode/ovcapture.h"

struct TsampleRead {
  bool missing = false;  // no file of that name: nothing else is wrong
  std::string problem;   // empty when the file was read; else names the file and why
  std::shared_ptr<Tcapture> capture = std::make_shared<Tcapture>();
};

// Reads into a fresh capture, so the caller's data stays as it was when this fails.
// A pcap or pcapng file of USB packets or a raw capture, told apart by content, is decoded.
TsampleRead readSampleFile(const std::string& path);

// Empty on success, else a sentence naming the file and why.
std::string saveSampleFile(const Tcapture& capture, const std::string& path);
// The packets of the capture as pcap (link type 294); empty on success, else a
// sentence naming the file and why.
std::string exportPcapFile(const Tcapture& capture, const std::string& path);
