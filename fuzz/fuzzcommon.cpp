#include "fuzzcommon.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <tuple>

#include "boxes/ovboxes.h"
#include "files/ovrowutils.h"

namespace fuzz {

std::string memoryFile(const uint8_t* data, size_t size) {
  static int fd = memfd_create("fuzz-input", 0);
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
  return "/proc/self/fd/" + std::to_string(fd);
}

namespace {

using TrowKind = std::tuple<uint32_t, uint16_t, int32_t, uint32_t, size_t>;

TrowKind kindOf(const Tbase* obj) {
  if (!obj) return {};
  const bool packet = obj->objType >= otSof && obj->objType <= otHandshake;
  const uint32_t pid = packet ? static_cast<const TpacketBase*>(obj)->pid : 0;
  const size_t size = obj->objType == otData ? static_cast<const Tdata*>(obj)->data.size() : 0;
  return {obj->objType, obj->flags, obj->level, pid, size};
}

void render(const TobjPtr& obj, Tboxes& boxes) {
  boxes.getBoxesString(obj);
  // Only the object's own line, short of a grouper's child count: a line
  // read back alone has no children.
  std::string text = rowutils::objToString(obj);
  text.resize(std::min(text.find('\n'), text.find(";X:")));
  if (text.empty()) return;
  const std::string again = rowutils::objToString(rowutils::objFromString(text));
  if (again.compare(0, text.size(), text) != 0) {
    std::fprintf(stderr, "written text reads back differently:\n%s\n%s\n", text.c_str(), again.c_str());
    std::abort();
  }
}

}  // namespace

void renderRows(const Tcapture& capture, bool kindsOnly) {
  Tboxes boxes;
  std::set<TrowKind> seen;
  for (size_t ix = 0; ix < capture.rowCount(); ++ix) {
    const TobjPtr obj = capture.row(ix).obj;
    if (kindsOnly && !seen.insert(kindOf(obj.get())).second) continue;
    render(obj, boxes);
  }
}

void renderObjects(const TobjVec& objects) {
  Tboxes boxes;
  for (const TobjPtr& obj : objects) render(obj, boxes);
}

void useSourceScripts() {
  // Scripts are looked up in the environment first, else in ./scripts; paths
  // given to the target must then be absolute.
  setenv("TWR_SCRIPTS", TWR_SOURCE_DIR "/scripts", 1);
  if (chdir(TWR_SOURCE_DIR) != 0) std::abort();
}

}  // namespace fuzz
