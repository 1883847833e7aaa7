// The decode scripts' markup: items separated by ";", each a paragraph
// ("S" + text) or a table ("T" + title, a "#"-separated heading line, then one
// "#"-separated line per row). Empty pieces are dropped at every level.
#pragma once

#include <string>
#include <vector>

struct TdecodeItem {
  enum Tkind { paragraph, table } kind = paragraph;
  std::string text;                // the paragraph, or the table's title (" " when it has none)
  std::vector<std::string> lines;  // table only: every line, the title line first
};

std::vector<TdecodeItem> parseDecodeText(const std::string& text);

// Table accessors over TdecodeItem::lines.
std::vector<std::string> tableHeadings(const std::vector<std::string>& lines);
int tableRowCount(const std::vector<std::string>& lines);
// The cell, or "" when the row has fewer cells.
std::string tableCell(const std::vector<std::string>& lines, long row, long column);
