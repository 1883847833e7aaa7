#include "boxes/ovsummary.h"

#include <algorithm>

#include "decode/ovgroup.h"
#include "decode/ovvisit.h"

namespace {

constexpr int timeWidth = 10;  // digits and point: up to 999.999999 ms line up
constexpr int deepestIndent = 8;

// The time of the object, or of the first descendant that has one.
bool firstTime(const Tbase* obj, uint64_t& time) {
  if (!obj) return false;
  return visit(*obj, Toverload{[&](const Tgrouper& grouper) {
                                 for (const auto& child : grouper.children)
                                   if (firstTime(child.get(), time)) return true;
                                 return false;
                               },
                               [&](const Tbase& own) {
                                 time = own.time;
                                 return true;
                               }});
}

void appendTime(std::string& line, const Tbase* obj) {
  uint64_t ticks = 0;
  std::string number;
  if (firstTime(obj, ticks)) {
    const unsigned __int128 ns = static_cast<unsigned __int128>(ticks) * 1000 / ticksPerMicrosecond;
    std::string fraction = std::to_string(static_cast<unsigned>(ns % 1000000));
    number = std::to_string(static_cast<uint64_t>(ns / 1000000)) + "." +
             std::string(6 - fraction.size(), '0') + fraction;
  }
  line.append(static_cast<size_t>(std::max<int>(0, timeWidth - static_cast<int>(number.size()))), ' ');
  line += number.empty() ? "   " : number + " ms";
}

// A space, then the text with each run of spaces made one and none at its ends.
void appendWord(std::string& line, const std::string& text) {
  bool space = true;
  for (char c : text) {
    if (c == ' ') {
      space = true;
      continue;
    }
    if (space) line += ' ';
    line += c;
    space = false;
  }
}

}  // namespace

std::string summaryLine(const std::shared_ptr<Tbase>& obj, Tboxes& boxes) {
  if (!obj) return {};
  std::string line;
  appendTime(line, obj.get());
  line += ' ';
  line.append(2 * static_cast<size_t>(std::clamp(obj->level, 0, deepestIndent)), ' ');
  bool first = true;
  for (const TdisplayBox& box : boxes.getBoxes(obj)) {
    appendWord(line, box.text1);
    if (box.kind == 1 && box.summaryValue) appendWord(line, box.text2);
    // The row's name stands apart from its fields.
    if (first) line += ' ';
    first = false;
  }
  return line;
}
