#include "files/ovdevicedescs.h"

#include <cctype>
#include <cstdlib>

namespace {

// Interface classes by the names users know them by (usb.org "Defined Class
// Codes"); DFU is subclass 1 of the application-specific class.
struct TclassName {
  const char* name;
  int deviceClass, subclass;
};
constexpr TclassName classNames[] = {
    {"audio", 0x01, -1}, {"midi", 0x01, 0x03},    {"cdc", 0x02, 0x02}, {"hid", 0x03, -1},
    {"msc", 0x08, 0x06}, {"storage", 0x08, 0x06}, {"dfu", 0xFE, 0x01}, {"vendor", 0xFF, -1},
};

// A whole number in [0, max]: decimal, or hex after 0x, or hex when `hex`.
bool number(const std::string& text, int max, bool hex, int& value) {
  const bool prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = text.substr(prefixed ? 2 : 0);
  const int base = hex || prefixed ? 16 : 10;
  if (digits.empty() || digits.size() > 6) return false;
  for (char c : digits) {
    if (!(base == 16 ? std::isxdigit(static_cast<unsigned char>(c))
                     : std::isdigit(static_cast<unsigned char>(c))))
      return false;
  }
  const long v = std::strtol(digits.c_str(), nullptr, base);
  if (v > max) return false;
  value = static_cast<int>(v);
  return true;
}

bool className(const std::string& text, TdeviceHint& hint) {
  for (const TclassName& c : classNames) {
    if (text == c.name) {
      hint.deviceClass = c.deviceClass;
      hint.subclass = c.subclass;
      return true;
    }
  }
  const size_t dot = text.find('.');
  if (!number(text.substr(0, dot), 0xFF, false, hint.deviceClass)) return false;
  return dot == std::string::npos || number(text.substr(dot + 1), 0xFF, false, hint.subclass);
}

}  // namespace

long long TdeviceDescriptors::ids() const {
  if (device.size() < 12) return -1;
  return static_cast<long long>(device[8] | device[9] << 8) << 16 | (device[10] | device[11] << 8);
}

bool TdeviceDescriptors::operator==(const TdeviceDescriptors& other) const {
  return device == other.device && configuration == other.configuration && reports == other.reports;
}

bool parseHint(const std::string& text, int& address, TdeviceHint& hint, std::string& error) {
  error = "hint '" + text + "' is not ADDR:CLASS or ADDR:VVVV:PPPP (classes: " + hintClassNames() + ")";
  const size_t colon = text.find(':');
  if (colon == std::string::npos || !number(text.substr(0, colon), 127, false, address)) return false;
  const std::string what = text.substr(colon + 1);
  const size_t second = what.find(':');
  hint = TdeviceHint{};
  hint.source = "the hint " + text;
  if (second == std::string::npos) return className(what, hint);
  return what.size() == 9 && second == 4 && number(what.substr(0, 4), 0xFFFF, true, hint.vendor) &&
         number(what.substr(5), 0xFFFF, true, hint.product);
}

std::string hintClassNames() {
  std::string names;
  for (const TclassName& c : classNames) names += (names.empty() ? "" : ", ") + std::string(c.name);
  return names + " or a number";
}
