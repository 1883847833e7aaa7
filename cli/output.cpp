#include "output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "args.h"
#include "boxes/ovboxes.h"
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
