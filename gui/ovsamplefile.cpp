#include "ovsamplefile.h"

#include <filesystem>
#include <system_error>

#include "files/ovcapturefile.h"
#include "files/ovdataio.h"
#include "files/ovpcapexport.h"

namespace {

// "Cannot read "path": why." from a core message that starts with the path.
std::string sentence(const char* verb, const std::string& path, const std::string& message) {
  const std::string prefix = path + ": ";
  const std::string why =
      message.compare(0, prefix.size(), prefix) == 0 ? message.substr(prefix.size()) : message;
  return std::string(verb) + " \"" + path + "\": " + why + ".";
}

}  // namespace

TsampleRead readSampleFile(const std::string& path) {
  TsampleRead result;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    result.missing = true;
    result.problem = "Cannot read \"" + path + "\": there is no such file.";
    return result;
  }
  Tinput input(path);
  const TcaptureFile::Tkind kind = TcaptureFile::kindOf(input);
  if (kind == TcaptureFile::Tkind::raw) {
    TcaptureFile file;
    if (!file.loadRaw(input, *result.capture))
      result.problem = sentence("Cannot read", path, file.lastError());
    return result;
  }
  if (kind == TcaptureFile::Tkind::pcap) {
    TcaptureFile file;
    if (!file.loadPcap(input, *result.capture))
      result.problem = sentence("Cannot read", path, file.lastError());
    // Shown as a sample file is: its packets are made again from the rows for export.
    result.capture->releaseBusRecord();
    return result;
  }
  TdataIO io;
  // A failed load leaves the capture empty.
  if (io.loadLinearFile(input, *result.capture) == 0)
    result.problem = "Cannot read \"" + path + "\": " + io.lastError() + ".";
  return result;
}

std::string saveSampleFile(const Tcapture& capture, const std::string& path) {
  TdataIO io;
  if (io.saveLinearToFile(capture, path) == 0 && !io.lastError().empty())
    return "Cannot save \"" + path + "\": " + io.lastError() + ".";
  return "";
}

std::string exportPcapFile(const Tcapture& capture, const std::string& path) {
  TexportCounts counts;
  std::string error;
  if (!exportPcap(capture, path, {}, counts, error)) return sentence("Cannot export to", path, error);
  return "";
}
