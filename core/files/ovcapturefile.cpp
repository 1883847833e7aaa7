#include "files/ovcapturefile.h"

#include "decode/ovchain.h"
#include "decode/ovexthrd.h"
#include "decode/ovraw.h"
#include "files/ovdataio.h"
#include "files/ovpcapread.h"
#include "hardware/ovlothrd.h"

TcaptureFile::Tkind TcaptureFile::kindOf(const Tinput& input) {
  const std::vector<uint8_t>& head = input.head();
  if (TpcapReader::isPcap(head.data(), head.size())) return Tkind::pcap;
  return Traw::magicAt(head.data(), head.size()) ? Tkind::raw : Tkind::sample;
}

TcaptureFile::TcaptureFile() : TcaptureFile(TloThread::largestCapture) {}

TcaptureFile::TcaptureFile(uint64_t longestRaw) : longestRaw(longestRaw) {}

bool TcaptureFile::load(Tinput& input, Tcapture& capture) {
  switch (kindOf(input)) {
    case Tkind::pcap:
      return loadPcap(input, capture);
    case Tkind::raw:
      return loadRaw(input, capture);
    case Tkind::sample:
      return loadSample(input, capture);
  }
  return false;
}

bool TcaptureFile::loadPcap(Tinput& input, Tcapture& capture) {
  TpcapReader reader;
  capture.clear();
  const bool ok = reader.read(input, capture);
  error = reader.lastError();
  notes = reader.warnings();
  if (ok) decodeEvents(capture);
  return ok;
}

void TcaptureFile::decodeEvents(Tcapture& capture) { TdecodeChain(capture).takeEvents(true); }

bool TcaptureFile::loadRaw(Tinput& input, Tcapture& capture) {
  error.clear();
  notes.clear();
  const std::string notRaw = input.name() + ": not a raw capture (bad magic or no data)";
  if (!input.error().empty()) {
    error = input.name() + ": " + input.error();
    return false;
  }
  // A pipe may never end: a foreign stream is refused by its head.
  if (!Traw::magicAt(input.head().data(), input.head().size())) {
    error = notRaw;
    return false;
  }
  std::vector<uint8_t> raw;
  if (!input.readAll(raw, longestRaw)) {
    error = input.name() + ": " +
            (input.tooLong() ? "longer than the largest capture the device makes (" +
                                   std::to_string(longestRaw) + " bytes)"
                             : input.error());
    return false;
  }
  // The decoder yields nothing for a stream without data; say why instead.
  if (!Traw().useRawData(raw)) {
    error = notRaw;
    return false;
  }
  TexThread decoder;
  if (!decoder.startDecode(&raw)) {
    error = input.name() + ": decoding failed: " + decoder.failureText();
    return false;
  }
  capture = std::move(*decoder.capture);
  if (decoder.skippedEvents != 0)
    notes.push_back(std::to_string(decoder.skippedEvents) + " of " + std::to_string(capture.eventCount()) +
                    " bus events made no object (no packet bytes, or a PING, SPLIT, PRE or reserved PID)");
  return true;
}

bool TcaptureFile::loadSample(Tinput& input, Tcapture& capture) {
  error.clear();
  notes.clear();
  TdataIO io;
  if (io.loadLinearFile(input, capture) == 0 && !io.lastError().empty()) {
    error = input.name() + ": " + io.lastError();
    return false;
  }
  return true;
}
