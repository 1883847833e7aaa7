// What the find bar looks for, and whether one row holds it: text in the
// row's box texts or in its decode text, case ignored, and a byte pattern
// ("12 01 00 02") in the bytes the data pane shows for it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decode/ovcapture.h"
#include "files/ovdevicedescs.h"
#include "ovfindboxtext.h"

class TluaState;

struct TfindQuery {
  std::string text;            // lower case, underscores as spaces
  std::vector<uint8_t> bytes;  // the text read as hex bytes; empty when it does not read so
  bool inDecode = false;       // the decode texts instead of the boxes and bytes
  std::shared_ptr<const TexternalDevices> devices;  // the decode texts' descriptors from outside the capture
  bool empty() const { return text.empty(); }
};

// Spaces at the ends dropped; hex bytes are pairs of digits, spaced or not, "0x" allowed.
TfindQuery parseFindQuery(const std::string& typed, bool inDecode);

// The decode scripts' markup as lines of plain text: paragraphs, and tables
// as a title line then one line per row, cells separated by tabs.
std::string decodePlainText(const std::string& markup);

// The bytes shown for a row's object: a data packet's, a transaction's data
// packet's, a control transfer's data stage; none for anything else.
const std::vector<uint8_t>& shownBytes(const TobjPtr& obj);

// Matches rows of one capture, one row at a time; each thread needs its own.
// It reads the rows in the order asked, fastest when that is row order.
class TrowMatcher {
 public:
  TrowMatcher(std::shared_ptr<const Tcapture> capture, TfindQuery query);
  ~TrowMatcher();
  TrowMatcher(const TrowMatcher&) = delete;
  TrowMatcher& operator=(const TrowMatcher&) = delete;

  bool matches(std::size_t row);

 private:
  bool inText(const std::string& text) const;

  std::shared_ptr<const Tcapture> capture;
  TfindQuery query;
  TrowScan scan;  // rows read without the capture's cache, which the window uses
  TboxTexts boxTexts;
  std::array<char, 256> foldTable;  // each character as the query is folded
  std::array<std::size_t, 256> skip;
  std::string haystack;            // working space
  std::unique_ptr<TluaState> lua;  // for decode texts only: loading the scripts costs
};
