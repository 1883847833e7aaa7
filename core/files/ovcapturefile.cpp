#include "files/ovcapturefile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "decode/ovbin2obj.h"
#include "decode/ovexthrd.h"
#include "decode/ovobj2tree.h"
#include "decode/ovraw.h"
#include "decode/ovtree2lin.h"
#include "files/ovdataio.h"
#include "files/ovpcapread.h"

namespace {

// Enough for a raw capture's magic, its filler and a first item byte.
constexpr size_t headSize = 1 << 16;

std::vector<uint8_t> head(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes(headSize);
  in.read(reinterpret_cast<char*>(bytes.data()), headSize);
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

}  // namespace

TcaptureFile::Tkind TcaptureFile::kindOf(const std::string& path) {
  const std::vector<uint8_t> bytes = head(path);
  if (TpcapReader::isPcap(bytes.data(), bytes.size())) return Tkind::pcap;
  return Traw().addRawData(bytes) ? Tkind::raw : Tkind::sample;
}

bool TcaptureFile::load(const std::string& path, Tcapture& capture) {
  switch (kindOf(path)) {
    case Tkind::pcap:
      return loadPcap(path, capture);
    case Tkind::raw:
      return loadRaw(path, capture);
    case Tkind::sample:
      return loadSample(path, capture);
  }
  return false;
}

bool TcaptureFile::loadPcap(const std::string& path, Tcapture& capture) {
  TpcapReader reader;
  capture.events->clear();
  const bool ok = reader.read(path, *capture.events);
  error = reader.lastError();
  notes = reader.warnings();
  if (ok) decodeEvents(capture);
  return ok;
}

void TcaptureFile::decodeEvents(Tcapture& capture) {
  TobjVec& objects = *capture.objects;
  objects.clear();
  objects.reserve(capture.events->size());
  Tbin2obj().buildObjVec(*capture.events, objects);
  capture.trees->clear();
  Tobj2tree(objects, *capture.trees);
  Ttree2lin(*capture.trees, *capture.rows);
}

bool TcaptureFile::loadRaw(const std::string& path, Tcapture& capture) {
  error.clear();
  notes.clear();
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = path + ": cannot read file: " + std::strerror(errno ? errno : EIO);
    return false;
  }
  TexThread decoder(capture.events, std::make_shared<TobjVec>(), capture.trees, capture.rows);
  if (!decoder.startDecode(&raw)) {
    error = path + ": not a raw capture (bad magic or no data)";
    return false;
  }
  return true;
}

bool TcaptureFile::loadSample(const std::string& path, Tcapture& capture) {
  error.clear();
  notes.clear();
  capture.events->clear();
  TdataIO io;
  if (io.loadLinearFile(path, capture.trees, capture.rows) == 0 && !io.lastError().empty()) {
    error = path + ": " + io.lastError();
    return false;
  }
  return true;
}
