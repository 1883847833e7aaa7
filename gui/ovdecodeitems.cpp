#include "ovdecodeitems.h"

#include "decode/ovutils.h"

std::vector<TdecodeItem> parseDecodeText(const std::string& text) {
  std::vector<TdecodeItem> items;
  for (const std::string& piece : utils::split(text, ';')) {
    if (piece[0] == 'S') {
      items.push_back({TdecodeItem::paragraph, piece.substr(1), {}});
    } else if (piece[0] == 'T') {
      TdecodeItem item{TdecodeItem::table, "", utils::split(piece, '\n')};
      item.text = item.lines[0].size() > 1 ? item.lines[0].substr(1) : " ";
      items.push_back(std::move(item));
    }
  }
  return items;
}

std::vector<std::string> tableHeadings(const std::vector<std::string>& lines) {
  return lines.size() < 2 ? std::vector<std::string>{} : utils::split(lines[1], '#');
}

int tableRowCount(const std::vector<std::string>& lines) {
  return lines.size() < 2 ? 0 : static_cast<int>(lines.size()) - 2;
}

std::string tableCell(const std::vector<std::string>& lines, long row, long column) {
  if (row < 0 || column < 0 || static_cast<std::size_t>(row) + 2 >= lines.size()) return "";
  const auto cells = utils::split(lines[row + 2], '#');
  return static_cast<std::size_t>(column) < cells.size() ? cells[column] : "";
}
