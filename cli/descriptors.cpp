#include "descriptors.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "files/ovdevicestore.h"
#include "files/ovlsusb.h"
#include "files/ovlua.h"

Toption descriptorsOption() {
  return {"--descriptors", "[ADDR:]FILE",
          "with --decode: the descriptors of devices whose enumeration the capture lacks, as 'lsusb -v' "
          "prints them; each goes to the address of its 'Bus ... Device NNN' line, or to ADDR"};
}

Toption hintOption() {
  return {"--hint", "ADDR:WHAT[,...]",
          "with --decode: device ADDR is of class WHAT (" + hintClassNames() + "), or has the ids VVVV:PPPP"};
}

namespace {

int usage(const std::string& command, const std::string& message) {
  std::fprintf(stderr, "twr %s: %s\n", command.c_str(), message.c_str());
  return exitUsage;
}

int hints(const std::string& command, const std::string& list, TexternalDevices& devices) {
  std::istringstream in(list);
  for (std::string text; std::getline(in, text, ',');) {
    int address = 0;
    TdeviceHint hint;
    std::string error;
    if (!parseHint(text, address, hint, error)) return usage(command, "--hint: " + error);
    devices.hints[address] = hint;
  }
  return exitOk;
}

// "5:lsusb.txt" names an address; anything else is a path.
void splitAddress(const std::string& value, int& address, std::string& path) {
  const size_t colon = value.find(':');
  address = -1;
  path = value;
  if (colon == std::string::npos || colon == 0 || colon > 3) return;
  for (size_t i = 0; i < colon; ++i)
    if (!std::isdigit(static_cast<unsigned char>(value[i]))) return;
  const int a = std::stoi(value.substr(0, colon));
  if (a > 127) return;
  address = a;
  path = value.substr(colon + 1);
}

int listed(const std::string& value, TexternalDevices& devices) {
  int address = -1;
  std::string path;
  splitAddress(value, address, path);
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof())
    return inputError("cannot read " + path + ": " + std::strerror(errno ? errno : EIO));
  std::vector<std::string> notes;
  std::vector<TlistedDevice> found = parseLsusb(text, notes);
  inputWarnings(path, notes);
  if (found.empty())
    return inputError(path + ": no device descriptors in it (is it what 'lsusb -v' prints?)");
  const std::string source = "the lsusb -v text " + std::filesystem::path(path).filename().string();
  if (address >= 0) {
    if (found.size() != 1)
      return inputError(path + ": " + std::to_string(found.size()) + " devices in it; " +
                        std::to_string(address) + ": takes the text of one");
    TdeviceHint& hint = devices.hints[address];
    hint.descriptors = std::make_shared<TdeviceDescriptors>(found[0].descriptors);
    hint.descriptors->source = source + ", given for address " + std::to_string(address);
    hint.source = hint.descriptors->source;
    return exitOk;
  }
  for (TlistedDevice& device : found) {
    if (device.address < 0)
      return inputError(path +
                        ": a device without its 'Bus ... Device NNN' line; give its address as ADDR:" + path);
    device.descriptors.source = source;
    devices.listed[device.address] = std::move(device.descriptors);
  }
  return exitOk;
}

}  // namespace

int externalDevicesFrom(const std::string& command, const Tparsed& args, TexternalDevices& devices) {
  if (!args.has("--decode") && (args.has("--descriptors") || args.has("--hint")))
    return usage(command, "--descriptors and --hint need --decode");
  devices.remembered = TdeviceStore().load();
  if (args.has("--hint")) {
    if (const int status = hints(command, args.value("--hint"), devices)) return status;
  }
  if (args.has("--descriptors")) return listed(args.value("--descriptors"), devices);
  return exitOk;
}

void rememberDevices(TluaState& lua, const std::string& capture) {
  TdeviceStore store;
  const std::string name = std::filesystem::path(capture).filename().string();
  for (const TdeviceDescriptors& set : lua.capturedDevices()) {
    if (!store.save(set, name)) {
      std::fprintf(stderr, "twr: descriptors not remembered: %s\n", store.lastError().c_str());
      return;
    }
  }
}
