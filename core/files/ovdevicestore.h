// Descriptors remembered from earlier captures: one small text file per
// vendor and product id in the user's configuration directory, so that a
// later capture of the same device, started after its enumeration, still
// decodes its class traffic.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "files/ovdevicedescs.h"

class TdeviceStore {
 public:
  explicit TdeviceStore(std::filesystem::path dir = defaultDir()) : folder(std::move(dir)) {}

  // $XDG_CONFIG_HOME/tracewren/devices, else ~/.config/tracewren/devices;
  // empty when neither variable gives an absolute path.
  static std::filesystem::path defaultDir();

  // Every remembered set by TdeviceDescriptors::ids(), each with its source
  // text; files that are not such sets are passed over.
  std::map<uint32_t, TdeviceDescriptors> load() const;
  // Remembers a set with a device descriptor, naming the capture it came from.
  // An unchanged set is left as it was. False with lastError() when it cannot be written.
  bool save(const TdeviceDescriptors& set, const std::string& capture);

  const std::filesystem::path& dir() const { return folder; }
  const std::string& lastError() const { return error; }

 private:
  std::filesystem::path folder;
  std::string error;
};
