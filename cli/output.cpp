#include "output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "args.h"
#include "boxes/ovboxes.h"
#include "boxes/ovsummary.h"
#include "descriptors.h"
#include "files/ovdataio.h"
#include "files/ovlua.h"
#include "files/ovrowutils.h"

namespace {

constexpr size_t chunkBytes = 1 << 20;

void put(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// Output is collected and written in large pieces.
void putWhenFull(std::string& chunk) {
  if (chunk.size() < chunkBytes) return;
  put(chunk);
  chunk.clear();
}

}  // namespace

void startOutput() { std::setvbuf(stdout, nullptr, _IOFBF, chunkBytes); }

void printBody(const Tcapture& capture) { TdataIO::streamBody(capture, 0, capture.rowCount(), put); }

void printBoxes(const Tcapture& capture) {
  Tboxes boxes;
  std::string chunk;
  TrowScan scan = capture.rowScan();
  for (size_t ix = 0; ix < capture.rowCount(); ++ix) {
    chunk += boxes.getBoxesString(scan.row(ix));
    putWhenFull(chunk);
  }
  put(chunk);
}

namespace {

// One readable line per row: time, level as indent, boxes as "name value".
void printSummary(const Tcapture& capture, size_t from, size_t to) {
  Tboxes boxes;
  std::string chunk;
  TrowScan scan = capture.rowScan();
  for (size_t ix = from; ix < to; ++ix) {
    chunk += summaryLine(scan.row(ix), boxes);
    chunk += '\n';
    putWhenFull(chunk);
  }
  put(chunk);
}

void printRange(const Tparsed& args, const Tcapture& capture, size_t from, size_t to) {
  if (args.has("--format") && args.value("--format") == "summary")
    printSummary(capture, from, to);
  else
    TdataIO::streamBody(capture, from, to, put);
}

}  // namespace

// A function, not a constant: the commands' records copy it during static initialisation.
Toption formatOption() {
  return {"--format", "FORM",
          "text: rows as a sample file holds them (the default); summary: one readable line per row"};
}

bool formatKnown(const Tparsed& args) {
  return !args.has("--format") || args.value("--format") == "text" || args.value("--format") == "summary";
}

void printRows(const Tparsed& args, const Tcapture& capture) {
  printRange(args, capture, 0, capture.rowCount());
}

void printRowsNow(const Tparsed& args, const Tcapture& capture, size_t from, size_t to) {
  printRange(args, capture, from, to);
  std::fflush(stdout);
}

void printObjects(const Tcapture& capture) {
  std::string chunk;
  for (size_t ix = 0; ix < capture.busObjectCount(); ++ix) {
    rowutils::appendObjText(*capture.busObject(ix), chunk);
    putWhenFull(chunk);
  }
  put(chunk);
}

bool printDecodes(const std::shared_ptr<const Tcapture>& rows, const TexternalDevices& external,
                  const std::string& capture) {
  TluaState lua(rows);
  if (!lua.loadError().empty()) {
    inputError("decode scripts not loaded: " + lua.loadError());
    return false;
  }
  lua.setExternalDevices(external);
  std::string chunk;
  for (size_t i = 0; i < rows->rowCount(); ++i) {
    for (char c : lua.decodeRow(static_cast<long long>(i))) {
      if (c == '\n')
        chunk += "\\n";
      else if (c == '\\')
        chunk += "\\\\";
      else
        chunk += c;
    }
    chunk += '\n';
    putWhenFull(chunk);
  }
  put(chunk);
  rememberDevices(lua, capture);
  return true;
}

int finishOutput() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    return inputError(std::string("cannot write standard output: ") + std::strerror(errno));
  return exitOk;
}
