#include "files/ovdevicestore.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "files/ovfilewriter.h"

namespace {

constexpr const char* firstLine = "tracewren device descriptors 1";
constexpr const char* suffix = ".descriptors";

std::string hexBytes(const std::vector<uint8_t>& bytes) {
  std::string out;
  char b[4];
  for (uint8_t v : bytes) {
    std::snprintf(b, sizeof b, " %02x", v);
    out += b;
  }
  return out;
}

bool readBytes(std::istream& in, std::vector<uint8_t>& bytes) {
  for (std::string b; in >> b;) {
    char* end = nullptr;
    const long v = std::strtol(b.c_str(), &end, 16);
    if (b.size() != 2 || *end || v < 0) return false;
    bytes.push_back(static_cast<uint8_t>(v));
  }
  return true;
}

// One remembered set: "device", "configuration" and "report N" lines of hex
// bytes after the first line and the capture's name.
bool readSet(const std::filesystem::path& path, TdeviceDescriptors& set, std::string& capture) {
  std::ifstream in(path);
  std::string line;
  if (!std::getline(in, line) || line != firstLine) return false;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string key;
    fields >> key;
    if (key == "from") {
      std::getline(fields >> std::ws, capture);
    } else if (key == "device") {
      if (!readBytes(fields, set.device)) return false;
    } else if (key == "configuration") {
      if (!readBytes(fields, set.configuration)) return false;
    } else if (key == "report") {
      int iface = -1;
      if (!(fields >> iface) || iface < 0 || iface > 255 || !readBytes(fields, set.reports[iface]))
        return false;
    } else if (!key.empty()) {
      return false;
    }
  }
  return set.ids() >= 0;
}

std::string fileName(long long ids) {
  char name[16];
  std::snprintf(name, sizeof name, "%04llx-%04llx", ids >> 16, ids & 0xFFFF);
  return name + std::string(suffix);
}

}  // namespace

std::filesystem::path TdeviceStore::defaultDir() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::filesystem::path base;
  if (config && std::filesystem::path(config).is_absolute()) {
    base = config;
  } else if (const char* home = std::getenv("HOME"); home && std::filesystem::path(home).is_absolute()) {
    base = std::filesystem::path(home) / ".config";
  } else {
    return {};
  }
  return base / "tracewren" / "devices";
}

std::map<uint32_t, TdeviceDescriptors> TdeviceStore::load() const {
  std::map<uint32_t, TdeviceDescriptors> sets;
  std::error_code ec;
  if (folder.empty()) return sets;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    if (entry.path().extension() != suffix) continue;
    TdeviceDescriptors set;
    std::string capture;
    if (!readSet(entry.path(), set, capture)) continue;
    set.source =
        "descriptors remembered from an earlier capture" + (capture.empty() ? "" : " (" + capture + ")");
    sets[static_cast<uint32_t>(set.ids())] = std::move(set);
  }
  return sets;
}

bool TdeviceStore::save(const TdeviceDescriptors& set, const std::string& capture) {
  error.clear();
  if (set.ids() < 0) {
    error = "no device descriptor to name the set by";
    return false;
  }
  if (folder.empty()) {
    error = "no configuration directory (neither XDG_CONFIG_HOME nor HOME is set)";
    return false;
  }
  const std::filesystem::path path = folder / fileName(set.ids());
  TdeviceDescriptors old;
  std::string oldCapture;
  if (readSet(path, old, oldCapture) && old == set) return true;
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::string from = capture;
  for (char& c : from)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  std::string text = std::string(firstLine) + "\nfrom " + from + "\ndevice" + hexBytes(set.device) + "\n";
  if (!set.configuration.empty()) text += "configuration" + hexBytes(set.configuration) + "\n";
  for (const auto& [iface, bytes] : set.reports)
    text += "report " + std::to_string(iface) + hexBytes(bytes) + "\n";
  TfileWriter out;
  if (out.open(path.string()) && out.write(text.data(), text.size()) && out.commit()) return true;
  error = path.string() + ": " + out.lastError();
  return false;
}
