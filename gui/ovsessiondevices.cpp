#include "ovsessiondevices.h"

#include "files/ovlsusb.h"

TsessionDevices::TsessionDevices(TdeviceStore store)
    : store(std::move(store)), current(std::make_shared<TexternalDevices>()) {
  reloadRemembered();
}

void TsessionDevices::change(const std::function<void(TexternalDevices&)>& edit) {
  auto next = std::make_shared<TexternalDevices>(*current);
  edit(*next);
  current = std::move(next);
}

void TsessionDevices::reloadRemembered() {
  auto sets = store.load();
  change([&](TexternalDevices& d) { d.remembered = std::move(sets); });
}

std::string TsessionDevices::giveHint(int address, const std::string& what) {
  int parsedAddress = 0;
  TdeviceHint hint;
  std::string error;
  if (address < 0 || address > 127) return "A device address is 0 to 127.";
  if (!parseHint(std::to_string(address) + ":" + what, parsedAddress, hint, error))
    return "'" + what + "' is neither a class nor ids VVVV:PPPP.";
  change([&](TexternalDevices& d) { d.hints[address] = std::move(hint); });
  return "";
}

std::string TsessionDevices::giveListing(int address, const std::string& text, const std::string& name,
                                         std::vector<std::string>& notes) {
  if (address < 0 || address > 127) return "A device address is 0 to 127.";
  const std::vector<TlistedDevice> found = parseLsusb(text, notes);
  if (found.empty()) return name + " holds no device descriptors: is it what 'lsusb -v' prints?";
  const TlistedDevice* device = found.size() == 1 ? &found[0] : nullptr;
  for (const TlistedDevice& d : found)
    if (!device && d.address == address) device = &d;
  if (!device)
    return name + " lists " + std::to_string(found.size()) + " devices, none of them at address " +
           std::to_string(address) + ".";
  TdeviceHint hint;
  hint.descriptors = std::make_shared<TdeviceDescriptors>(device->descriptors);
  hint.source = "the lsusb -v text " + name + ", given for address " + std::to_string(address);
  hint.descriptors->source = hint.source;
  change([&](TexternalDevices& d) { d.hints[address] = std::move(hint); });
  return "";
}

void TsessionDevices::forget(int address) {
  change([&](TexternalDevices& d) { d.hints.erase(address); });
}

std::vector<std::string> TsessionDevices::hintLines() const {
  std::vector<std::string> lines;
  for (const auto& [address, hint] : current->hints)
    lines.push_back(std::to_string(address) + ": " + hint.source);
  return lines;
}
