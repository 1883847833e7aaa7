// Sample files as the GUI reads and saves them: every failure is a sentence
// naming the file, and never an exception.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ovsamplefile.h"

TEST(GuiSampleFiles, FailuresNameTheFileAndNeverThrow) {
  const std::string good = TWR_TEST_DATA_DIR "/lib_sample.ovd";
  const std::string bad = TWR_TEST_DATA_DIR "/lib_malformed.ovd";

  TsampleRead read = readSampleFile(good);
  EXPECT_EQ(read.problem, "");
  ASSERT_GT(read.rows->size(), 0u);

  TsampleRead broken = readSampleFile(bad);
  EXPECT_FALSE(broken.missing);
  EXPECT_NE(broken.problem.find(bad), std::string::npos) << broken.problem;
  EXPECT_NE(broken.problem.find("line 6"), std::string::npos) << broken.problem;
  EXPECT_TRUE(broken.rows->empty() && broken.objs->empty());

  TsampleRead missing = readSampleFile("/nonexistent/default.ovd");
  EXPECT_TRUE(missing.missing);

  const std::string unwritable = "/nonexistent/dir/out.ovd";
  const std::string problem = saveSampleFile(*read.rows, unwritable);
  EXPECT_NE(problem.find(unwritable), std::string::npos) << problem;

  const std::string copy = testing::TempDir() + "gui_sample_copy.ovd";
  EXPECT_EQ(saveSampleFile(*read.rows, copy), "");
  EXPECT_EQ(readSampleFile(copy).rows->size(), read.rows->size());
  std::remove(copy.c_str());
}
