// The one-line text form of decoded objects: the record format of sample files,
// of the diagnostic dumps and of the library's row texts.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "decode/ovbase.h"

namespace rowutils {

// Deepest level a line may carry. A decoded tree has three levels; the margin
// admits hand-made files, and the bound keeps every walk over a loaded tree
// (rows, text, boxes, freeing) far from the stack's limit.
constexpr int32_t maxLevel = 63;

// A line whose level is negative or beyond maxLevel. An out_of_range, so that
// callers which only know number errors still refuse the line.
class TlevelError : public std::out_of_range {
 public:
  explicit TlevelError(int32_t level);
  int32_t level;
};

// The object's line, followed for a grouper by the lines of its whole subtree.
// Classes without a text form give an empty string.
std::string objToString(const std::shared_ptr<Tbase>& obj);
// The same text appended to out, so a file writer can build its body without
// a temporary string per object.
void appendObjText(const Tbase& obj, std::string& out);
// The object's own line alone, a grouper's with `children` as its child count.
void appendLineText(const Tbase& obj, size_t children, std::string& out);

// One new object from one line without its newline; empty when the line holds
// no object. Children are never created. A malformed number throws
// std::invalid_argument or std::out_of_range, both with the text "stoi"; a
// level outside 0..maxLevel throws TlevelError.
std::shared_ptr<Tbase> objFromString(const std::string& line);
std::shared_ptr<Tbase> objFromText(std::string_view line);

}  // namespace rowutils
