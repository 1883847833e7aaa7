// String returns of the C interface, and the fence that keeps C++ exceptions
// on the library's side of it.
#pragma once

#include <cstdint>
#include <string>

namespace libtext {

// The text into the library-wide X buffer; returns its characters.
const char* toShared(std::string&& text);
// Copies text and extra zero bytes into buf when all of it fits; returns the
// size needed.
uint32_t copyOut(const std::string& text, char* buf, uint32_t size, uint32_t zeros = 1);

// Runs body; any exception gives fallback instead.
template <typename R, typename F>
R guarded(R fallback, F body) noexcept {
  try {
    return body();
  } catch (...) {
    return fallback;
  }
}

}  // namespace libtext
