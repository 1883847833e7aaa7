// The filters of the Filter menu: rows of one device (an address, or an
// address and endpoint), rows with errors; and their texts.
#pragma once

#include <cstddef>
#include <string>

struct TrowFilter {
  int address = -1;   // -1: rows of every device
  int endpoint = -1;  // -1: every endpoint of the address
  bool errorsOnly = false;

  bool byDevice() const { return address >= 0; }
  bool sameDevice(const TrowFilter& other) const {
    return address == other.address && endpoint == other.endpoint;
  }
  bool any() const { return byDevice() || errorsOnly; }
};

// "3" or "3.1" (address, then endpoint), blanks around allowed. False with
// why when the text names no device.
bool parseDevice(const std::string& text, TrowFilter& into, std::string& why);
// The device in the form parseDevice reads; empty for none.
std::string deviceText(const TrowFilter& filter);
// "1,234 hidden" with what hides them beyond the toolbar ("1,234 hidden: address 3.1, errors
// only"); empty when nothing is hidden.
std::string hiddenText(std::size_t hidden, const TrowFilter& filter);
