#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "boxes/ovboxes.h"
#include "decode/ovexthrd.h"
#include "files/ovdataio.h"
#include "files/ovrowutils.h"
#include "synth/generator.h"

namespace {

std::vector<uint8_t> capture(const char* scenario, double seconds, bool varied) {
  synth::TrawOptions options;
  options.varied = varied;
  synth::Tgenerator generator(synth::makeScenario(scenario, 5), 5, options);
  std::vector<uint8_t> raw;
  while (generator.time() < seconds * 12e6) generator.next(raw);
  generator.finish(raw);
  return raw;
}

}  // namespace

TEST(CaptureRoundTrip, SavedCaptureLoadsAsTheSameTreeRowsAndBoxes) {
  std::vector<uint8_t> raw = capture("hid", 1.0, true);
  TexThread decoder;
  ASSERT_TRUE(decoder.startDecode(&raw));
  const auto& roots = *decoder.trees;
  const auto& rows = *decoder.rows;
  ASSERT_GT(rows.size(), 1000u);

  const std::string path = testing::TempDir() + "roundtrip_" + std::to_string(getpid()) + ".ovd";
  TdataIO io;
  ASSERT_EQ(io.saveLinearToFile(rows, path), static_cast<int>(rows.size()));
  auto objs = std::make_shared<TobjVec>();
  auto loaded = std::make_shared<std::vector<TlinRow>>();
  EXPECT_EQ(io.loadLinearFile(path, objs, loaded), rows.size());

  ASSERT_EQ(objs->size(), roots.size());
  for (size_t i = 0; i < roots.size(); ++i)
    EXPECT_EQ(rowutils::objToString((*objs)[i]), rowutils::objToString(roots[i])) << "root " << i;
  ASSERT_EQ(loaded->size(), rows.size());
  Tboxes before, after;
  for (size_t i = 0; i < rows.size(); ++i) {
    const TlinRow& a = rows[i];
    const TlinRow& b = (*loaded)[i];
    ASSERT_EQ(a.obj->objType, b.obj->objType) << "row " << i;
    EXPECT_EQ(a.flags, b.flags) << "row " << i;
    EXPECT_EQ(a.obj->level, b.obj->level) << "row " << i;
    EXPECT_EQ(a.obj->parentRow, b.obj->parentRow) << "row " << i;
    EXPECT_EQ(a.obj->ordinal, b.obj->ordinal) << "row " << i;
    EXPECT_EQ(before.getBoxesString(a.obj), after.getBoxesString(b.obj)) << "row " << i;
  }
}
