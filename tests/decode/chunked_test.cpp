// The decode of a capture fed as it arrives, in pieces of any size, ends as
// the decode of the whole; on the way, the rows before the first row a piece
// changed stay as they were.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "boxes/ovboxes.h"
#include "decode/ovchain.h"
#include "files/ovdataio.h"
#include "files/ovlua.h"
#include "files/ovrowutils.h"
#include "support/testfiles.h"
#include "synth/generator.h"

namespace {

// The text form, and the box strings, filter flags and parents of every row: what a decode shows.
std::string shown(const Tcapture& capture) {
  std::string text;
  TdataIO::appendBody(capture, text);
  Tboxes boxes;
  for (size_t ix = 0; ix < capture.rowCount(); ++ix) {
    const TlinRow row = capture.row(ix);
    text +=
        boxes.getBoxesString(row.obj) + std::to_string(row.flags) + "^" + std::to_string(row.obj->parentRow);
  }
  return text;
}

// A row as it reads: its object's own line (a grouper's children may grow)
// and its numbers.
struct TrowState {
  std::string text;
  int ordinal;
  int parentRow;
};

std::string ownLine(const TobjPtr& obj) {
  const std::string text = rowutils::objToString(obj);
  return text.substr(0, std::min(text.find('\n'), text.find(";X:")));
}

// Feeds raw in random pieces, tiny ones among them, and once with no new byte;
// checks after each that the rows before the first changed one are unchanged,
// and that those called final read as the whole decode's rows.
Tcapture decodeInPieces(const std::vector<uint8_t>& raw, const Tcapture& whole, std::mt19937& random) {
  Tcapture capture;
  TdecodeChain chain(capture);
  std::vector<TrowState> before;
  size_t finalRows = 0;
  Tboxes boxes;
  std::geometric_distribution<size_t> small(0.3), large(1.0 / 4000);
  for (size_t available = 0; available < raw.size();) {
    available = std::min(raw.size(), available + (random() % 2 ? small(random) : large(random)));
    chain.takeRaw(raw.data(), available, available == raw.size());
    const size_t stable = chain.firstChangedRow();
    EXPECT_LE(stable, before.size());
    for (size_t r = 0; r < stable && r < before.size(); ++r) {
      const TobjPtr held = capture.row(r).obj;
      const Tbase& obj = *held;
      if (ownLine(held) != before[r].text || obj.row != static_cast<int>(r) ||
          obj.ordinal != before[r].ordinal || obj.parentRow != before[r].parentRow) {
        ADD_FAILURE() << "row " << r << " changed before the first changed row " << stable;
        return capture;
      }
    }
    if (chain.finalRows() < finalRows || chain.finalRows() > whole.rowCount()) {
      ADD_FAILURE() << "final rows went from " << finalRows << " to " << chain.finalRows();
      return capture;
    }
    for (; finalRows < chain.finalRows(); ++finalRows) {
      const TlinRow expected = whole.row(finalRows), got = capture.row(finalRows);
      if (boxes.getBoxesString(got.obj) != boxes.getBoxesString(expected.obj) ||
          got.obj->parentRow != expected.obj->parentRow) {
        ADD_FAILURE() << "row " << finalRows << " was called final before it was";
        return capture;
      }
    }
    before.clear();
    for (size_t r = 0; r < capture.rowCount(); ++r) {
      const TobjPtr obj = capture.row(r).obj;
      before.push_back({ownLine(obj), obj->ordinal, obj->parentRow});
    }
  }
  return capture;
}

}  // namespace

TEST(DecodeChain, AnySplitGivesTheDecodeOfTheWhole) {
  std::vector<uint8_t> resets = {'O', 'R', 'L', 'A', 'V', 'E', 'X', '.'};
  resets.resize(20000, 0x42);  // a reset of one tick in every byte
  std::vector<uint8_t> noise = resets;
  std::mt19937 random(7);
  for (size_t i = 8; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(random());
  const std::string example = readFile(TWR_SOURCE_DIR "/data/example.raw");
  const std::pair<const char*, std::vector<uint8_t>> captures[] = {
      {"example", std::vector<uint8_t>(example.begin(), example.end())},
      {"hid", synth::rawCapture("hid", 0.2, 3)},
      {"storage", synth::rawCapture("storage", 0.2, 3)},
      {"serial", synth::rawCapture("serial", 0.2, 3)},
      {"resets", resets},
      {"noise", noise},
  };
  for (const auto& [name, raw] : captures) {
    SCOPED_TRACE(name);
    auto whole = std::make_shared<Tcapture>();
    TdecodeChain(*whole).takeRaw(raw.data(), raw.size(), true);
    ASSERT_NE(whole->rowCount(), 0u);
    const std::string expected = shown(*whole);
    auto last = std::make_shared<Tcapture>();
    for (int split = 0; split < 12; ++split) {
      *last = decodeInPieces(raw, *whole, random);
      ASSERT_EQ(last->eventCount(), whole->eventCount());
      ASSERT_EQ(last->busObjectCount(), whole->busObjectCount());
      ASSERT_TRUE(shown(*last) == expected) << "split " << split;
    }
    // The scripts read the tree the rows point into: their texts agree too.
    TluaState wholeLua(whole, TWR_SOURCE_DIR "/scripts"), lastLua(last, TWR_SOURCE_DIR "/scripts");
    for (size_t r = 0; r < whole->rowCount(); r += 7)
      ASSERT_EQ(lastLua.decodeRow(static_cast<long long>(r)), wholeLua.decodeRow(static_cast<long long>(r)))
          << r;
  }
}
