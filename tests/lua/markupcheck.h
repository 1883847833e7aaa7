// A strict reader of the decode-pane markup: what the pane would show, and
// whatever the scripts promise never to produce (empty items, unknown item
// kinds, tables whose rows do not fill their columns, stray separators).
#pragma once

#include <string>
#include <vector>

namespace markup {

// Pieces between separators, empty ones kept (the pane drops them, which is
// exactly how a stray separator goes unnoticed there).
inline std::vector<std::string> pieces(const std::string& s, char sep) {
  std::vector<std::string> out(1);
  for (char c : s) {
    if (c == sep)
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

// Empty when text is well formed; else what is wrong with it.
inline std::string problem(const std::string& text) {
  if (text.empty()) return "empty text";
  for (const std::string& item : pieces(text, ';')) {
    if (item.empty()) return "empty item (stray ';')";
    if (item[0] == 'S') continue;
    if (item[0] != 'T') return "item of unknown kind: " + item.substr(0, 40);
    const auto lines = pieces(item, '\n');
    if (lines.size() < 2) return "table without headings: " + item.substr(0, 40);
    if (lines[0].size() < 2) return "table without a title";
    const size_t columns = pieces(lines[1], '#').size();
    for (size_t i = 1; i < lines.size(); ++i) {
      const auto cells = pieces(lines[i], '#');
      if (cells.size() != columns) return "row with " + std::to_string(cells.size()) + " cells: " + lines[i];
      for (const auto& c : cells)
        if (c.empty()) return "empty cell: " + lines[i];
    }
  }
  return {};
}

}  // namespace markup
