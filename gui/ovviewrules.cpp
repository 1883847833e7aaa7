#include "ovviewrules.h"

#include <algorithm>

namespace viewrules {

int zoomedPointSize(int pointSize, int direction) {
  const int step = pointSize <= 14 ? 2 : pointSize / 5;
  return std::max(6, pointSize + step * direction);
}

const char* sofLabel(bool shown) { return shown ? "Hide SOFs" : "Show SOFs"; }
const char* nakLabel(bool shown) { return shown ? "Hide NAKs" : "Show NAKs"; }
const char* packetLabel(bool shown) { return shown ? "Hide Packets" : "Show Packets"; }

}  // namespace viewrules
