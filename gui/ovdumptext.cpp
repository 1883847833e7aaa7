#include "ovdumptext.h"

#include <cstdio>

namespace {

// Only ASCII is printable: the text control must never receive a lone
// high byte, whatever the locale says.
bool printable(uint8_t b) { return b >= 0x20 && b < 0x7f; }

}  // namespace

TdumpText buildDump(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return {" No Data", ""};
  TdumpText text{" " + std::to_string(bytes.size()) + " bytes", "\n\n      0  1  2  3  4  5  6  7  01234567"};
  text.dump.reserve(text.dump.size() + (bytes.size() / 8 + 1) * 40);
  char field[16];
  for (std::size_t offset = 0; offset < bytes.size(); offset += 8) {
    // The first offset is space-filled, later ones zero-filled: " 0", "08", "10".
    std::snprintf(field, sizeof field, offset == 0 ? "\n %2zx:" : "\n %02zx:", offset);
    text.dump += field;
    for (std::size_t i = offset; i < offset + 8; i++) {
      if (i < bytes.size()) {
        std::snprintf(field, sizeof field, " %02x", static_cast<unsigned>(bytes[i]));
        text.dump += field;
      } else {
        text.dump += "   ";
      }
    }
    text.dump += "  ";
    for (std::size_t i = offset; i < offset + 8 && i < bytes.size(); i++)
      text.dump += printable(bytes[i]) ? static_cast<char>(bytes[i]) : '.';
  }
  return text;
}

std::size_t dumpHexOffset(const std::string& dump, std::size_t ix) {
  // Each line starts with a newline; the two before the column header come first.
  std::size_t lineStart = 0;
  for (std::size_t newline = 0; newline < ix / 8 + 3; newline++) lineStart = dump.find('\n', lineStart) + 1;
  return dump.find(':', lineStart) + 2 + 3 * (ix % 8);
}
