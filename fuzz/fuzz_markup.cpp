// The decode scripts' markup as the decode pane takes it apart: items, table
// headings and every cell, including one past each edge.
#include <string>

#include "ovdecodeitems.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const TdecodeItem& item : parseDecodeText(text)) {
    if (item.kind != TdecodeItem::table) continue;
    const long columns = static_cast<long>(tableHeadings(item.lines).size());
    const int rows = tableRowCount(item.lines);
    if (rows < 0) __builtin_trap();
    for (long row = -1; row <= rows; ++row)
      for (long column = -1; column <= columns; ++column) {
        const std::string cell = tableCell(item.lines, row, column);
        if ((row < 0 || row == rows || column < 0) && !cell.empty()) __builtin_trap();
      }
  }
  return 0;
}
