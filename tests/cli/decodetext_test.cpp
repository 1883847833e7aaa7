// twr decode/show --decode: one decode text of the shipped scripts per row.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "runtwr.h"
#include "synth/generator.h"

TEST(CliDecodeText, OneEscapedLinePerRow) {
  const std::vector<uint8_t> raw = synth::rawCapture("serial", 0.1, 4);
  const std::string stem = testing::TempDir() + "cli_decode_" + std::to_string(getpid());
  writeFile(stem + ".raw", std::string(raw.begin(), raw.end()));

  // One line per row, tables escaped inside it; the sample file gives back the same rows and texts.
  Trun r = runTwr("decode '" + stem + ".raw' -o '" + stem + ".ovd' --decode");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string expected = r.out;
  const std::string body = runTwr("decode '" + stem + ".raw'").out;
  ASSERT_GT(expected.size(), 1000u);
  EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), std::count(body.begin(), body.end(), '\n'));
  EXPECT_NE(expected.find("bDeviceClass#0xEF (Miscellaneous)\\n"), std::string::npos);
  EXPECT_EQ(expected.find(".lua:"), std::string::npos);
  r = runTwr("show '" + stem + ".ovd' --decode");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);

  r = runTwr("show '" + stem + ".ovd' --decode --boxes");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "twr show: only one of --boxes, --decode and --format can be given\n");

  // From another directory the scripts beside the program are found.
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(testing::TempDir());
  r = runTwr("show '" + stem + ".ovd' --decode");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);
  // Scripts that cannot be loaded are an error with the reason, not a text per row.
  setenv("TWR_SCRIPTS", "no-such-dir", 1);
  r = runTwr("show '" + stem + ".ovd' --decode");
  unsetenv("TWR_SCRIPTS");
  std::filesystem::current_path(cwd);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "twr: decode scripts not loaded: TWR_SCRIPTS=no-such-dir holds no init.lua\n");
  EXPECT_EQ(r.out, "");
}
