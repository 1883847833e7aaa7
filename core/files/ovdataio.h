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
  // a damaged file: a malformed number is "line N: malformed number", running
  // out of memory is "out of memory at line N", and a store that cannot grow
  // is "line N: " and the file system's reason. Objects go to the capture's
  // store one by one as they are read; none is kept.
  unsigned loadLinearFile(const std::string& path, Tcapture& capture);
  // The same from an input opened already, from where its reading stands.
  unsigned loadLinearFile(Tinput& input, Tcapture& capture);
  // Called during a load before each top-level object is placed (ending
  // false): the rows of the roots before it are complete; and once as the load
  // ends (ending true), whether it succeeded or not, before a failed one
  // empties the capture. The capture's store stays in place in between.
  void onRootStart(std::function<void(const Tcapture&, bool ending)> call) { rootStart = std::move(call); }
  // The text of every root row in row order: a sample file's body.
  static void appendBody(const Tcapture& capture, std::string& out);
  // The text of the root rows among rows [from, to) handed to put in pieces of
  // about a megabyte as it is made, so that printing a large capture never
  // holds its whole text.
  static void streamBody(const Tcapture& capture, std::size_t from, std::size_t to,
                         const std::function<void(std::string_view)>& put);

  // Why the last load or save gave 0 ("" when it did not fail), and the file
  // line the last load was reading (1 is the magic line).
  const std::string& lastError() const { return error; }
  unsigned long lineNumber() const { return line; }

 private:
  unsigned load(Tinput& input, Tcapture& capture);
  // Puts an object read into the capture, under the grouper it joins; false
  // when the store cannot grow.
  bool place(Tcapture& capture, const TobjPtr& obj);

  // A grouper that objects read later join: its row, the end of its rows, and
  // the row flags it hands down; not shown when it has no row itself.
  struct Tparent {
    bool shown = false;
    int64_t row = -1;
    size_t end = 0;
    uint8_t inherited = 0;
  };
  // Index L: the grouper the next object of level L joins; index 0 is the top
  // level. Filled during a load only.
  std::vector<Tparent> parents;

  std::string error;
  unsigned long line = 0;
  std::function<void(const Tcapture&, bool ending)> rootStart;
};
