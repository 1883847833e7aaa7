// Sample files: a gzip stream holding the magic line, the body length and the
// text form of every decoded object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "decode/ovcapture.h"
#include "files/ovinput.h"

class TdataIO {
 public:
  TdataIO();

  // Longest body line a load accepts; a real line is a few kilobytes at most.
  static constexpr size_t maxLineLength = size_t{1} << 20;

  // Returns the number of rows, 0 when the file cannot be written (lastError()
  // then says why; an empty capture also gives 0 but no error). The file at
  // path is replaced only by a complete one; "-" is standard output (see
  // TfileWriter for links, devices and pipes).
  int saveLinearToFile(const Tcapture& capture, const std::string& path);
  // Empties the capture, reads the file, rebuilds the tree and the rows.
  // Returns the number of objects read, 0 when nothing could be read; a failed
  // load (lastError() not empty) leaves the capture empty. Never throws for
  // a damaged file: a malformed number is "line N: malformed number", and
  // running out of memory, or what was read needing more than memoryBudget
  // bytes, is "out of memory at line N".
  unsigned loadLinearFile(const std::string& path, Tcapture& capture);
  // The same from an input opened already, from where its reading stands.
  unsigned loadLinearFile(Tinput& input, Tcapture& capture);
  // The text of every root row in row order: a sample file's body.
  static void appendBody(const Tcapture& capture, std::string& out);
  // The text of the root rows among rows [from, to) handed to put in pieces of
  // about a megabyte as it is made, so that printing a large capture never
  // holds its whole text.
  static void streamBody(const Tcapture& capture, std::size_t from, std::size_t to,
                         const std::function<void(std::string_view)>& put);

  // Heap a load may fill with objects and rows (membudget::defaultBudget() when made).
  uint64_t memoryBudget;

  // Why the last load or save gave 0 ("" when it did not fail), and the file
  // line the last load was reading (1 is the magic line).
  const std::string& lastError() const { return error; }
  unsigned long lineNumber() const { return line; }

 private:
  unsigned load(Tinput& input, TobjVec& objs);
  // Drops obj when its level has no list.
  void addToParent(std::shared_ptr<Tbase> obj);
  void setParentList(TobjVec* list, int level);

  // Index L receives the next object read at level L; index 0 is the top-level
  // list. Filled during a load only.
  std::vector<TobjVec*> parentList;

  std::string error;
  unsigned long line = 0;
};
