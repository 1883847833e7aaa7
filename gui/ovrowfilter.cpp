#include "ovrowfilter.h"

#include <cctype>

#include "ovstatustext.h"

namespace {

// A whole number from digits alone, at most `max`; -1 otherwise.
int number(const std::string& text, int max) {
  if (text.empty() || text.size() > 3) return -1;
  int n = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    n = n * 10 + (c - '0');
  }
  return n <= max ? n : -1;
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

bool parseDevice(const std::string& text, TrowFilter& into, std::string& why) {
  const std::string device = trimmed(text);
  const auto dot = device.find('.');
  const int address = number(trimmed(device.substr(0, dot)), 127);
  const int endpoint = dot == std::string::npos ? -1 : number(trimmed(device.substr(dot + 1)), 15);
  if (address < 0 || (dot != std::string::npos && endpoint < 0)) {
    why = "\"" + text +
          "\" is no device: an address from 0 to 127, then if you like a dot and an endpoint "
          "from 0 to 15, as in 3 or 3.1.";
    return false;
  }
  into.address = address;
  into.endpoint = endpoint;
  return true;
}

std::string deviceText(const TrowFilter& filter) {
  if (!filter.byDevice()) return "";
  return std::to_string(filter.address) + (filter.endpoint >= 0 ? "." + std::to_string(filter.endpoint) : "");
}

std::string hiddenText(std::size_t hidden, const TrowFilter& filter) {
  if (hidden == 0) return "";
  std::string text = groupedDigits(hidden) + " hidden";
  if (!filter.any()) return text;
  text += ": ";
  if (filter.byDevice()) text += "device " + deviceText(filter) + (filter.errorsOnly ? ", " : "");
  if (filter.errorsOnly) text += "errors only";
  return text;
}
