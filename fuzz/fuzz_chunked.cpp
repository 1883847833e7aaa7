// A raw capture stream decoded as it would arrive, in pieces whose sizes the
// input's last bytes choose, must end as the decode of the whole stream.
#include <cstdlib>
#include <string>
#include <vector>

#include "decode/ovchain.h"
#include "files/ovdataio.h"

namespace {

std::string textOf(const Tcapture& capture) {
  std::string text;
  TdataIO::appendBody(capture, text);
  for (size_t ix = 0; ix < capture.rowCount(); ++ix) {
    const TlinRow row = capture.row(ix);
    text += std::to_string(row.flags) + "^" + std::to_string(row.obj->parentRow);
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The last 8 bytes are piece sizes (1 to 256 bytes, in turn); the rest is the stream.
  if (size < 9) return 0;
  const uint8_t* pieces = data + size - 8;
  const size_t length = size - 8;
  Tcapture whole, inPieces;
  TdecodeChain(whole).takeRaw(data, length, true);
  TdecodeChain chain(inPieces);
  for (size_t available = 0, turn = 0; available < length; ++turn) {
    available = std::min(length, available + pieces[turn % 8] + 1);
    chain.takeRaw(data, available, available == length);
  }
  if (textOf(whole) != textOf(inPieces) || whole.eventCount() != inPieces.eventCount()) std::abort();
  return 0;
}
