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

void printBody(const std::vector<TlinRow>& rows) { TdataIO::streamBody(rows, put); }

void printBoxes(const std::vector<TlinRow>& rows) {
  Tboxes boxes;
  std::string chunk;
  for (const TlinRow& row : rows) {
    chunk += boxes.getBoxesString(row.obj);
    putWhenFull(chunk);
  }
  put(chunk);
}

void printSummary(const std::vector<TlinRow>& rows) {
  Tboxes boxes;
  std::string chunk;
  for (const TlinRow& row : rows) {
    chunk += summaryLine(row.obj, boxes);
    chunk += '\n';
    putWhenFull(chunk);
  }
  put(chunk);
}

// A function, not a constant: the commands' records copy it during static initialisation.
Toption formatOption() {
  return {"--format", "FORM",
          "text: rows as a sample file holds them (the default); summary: one readable line per row"};
}

bool formatKnown(const Tparsed& args) {
  return !args.has("--format") || args.value("--format") == "text" || args.value("--format") == "summary";
}

void printRows(const Tparsed& args, const std::vector<TlinRow>& rows) {
  if (args.has("--format") && args.value("--format") == "summary")
    printSummary(rows);
  else
    printBody(rows);
}

void printRowsNow(const Tparsed& args, const std::vector<TlinRow>& rows, size_t from, size_t to) {
  const std::vector<TlinRow> part(rows.begin() + static_cast<std::ptrdiff_t>(from),
                                  rows.begin() + static_cast<std::ptrdiff_t>(to));
  printRows(args, part);
  std::fflush(stdout);
}

void printObjects(const TobjVec& objects) {
  std::string chunk;
  for (const TobjPtr& obj : objects) {
    rowutils::appendObjText(*obj, chunk);
    putWhenFull(chunk);
  }
  put(chunk);
}

bool printDecodes(const std::shared_ptr<const std::vector<TlinRow>>& rows, const TexternalDevices& external,
                  const std::string& capture) {
  TluaState lua(rows);
  if (!lua.loadError().empty()) {
    inputError("decode scripts not loaded: " + lua.loadError());
    return false;
  }
  lua.setExternalDevices(external);
  std::string chunk;
  for (size_t i = 0; i < rows->size(); ++i) {
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
