// twr decode/show --decode: one decode text of the shipped scripts per row.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "decode/ovexthrd.h"
#include "files/ovlua.h"
#include "runtwr.h"
#include "synth/generator.h"

namespace {

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\\')
      out += "\\\\";
    else
      out += c;
  }
  return out + "\n";
}

}  // namespace

TEST(CliDecodeText, OneEscapedLinePerRow) {
  synth::Tgenerator generator(synth::makeScenario("serial", 4), 4);
  std::vector<uint8_t> raw;
  while (generator.time() < 0.1 * 12e6) generator.next(raw);
  generator.finish(raw);
  const std::string stem = testing::TempDir() + "cli_decode_" + std::to_string(getpid());
  writeFile(stem + ".raw", std::string(raw.begin(), raw.end()));

  // What the same scripts say in-process, row by row.
  TexThread decoder;
  decoder.startDecode(&raw);
  std::string expected;
  {
    TluaState lua(decoder.rows, std::filesystem::path(TWR_SOURCE_DIR) / "scripts");
    ASSERT_EQ(lua.loadError(), "");
    for (size_t i = 0; i < decoder.rows->size(); ++i)
      expected += escaped(lua.decodeRow(static_cast<long long>(i)));
  }
  ASSERT_GT(decoder.rows->size(), 100u);
  EXPECT_NE(expected.find("\\n"), std::string::npos);  // tables span lines inside a text

  Trun r = runTwr("decode '" + stem + ".raw' -o '" + stem + ".ovd' --decode");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, expected);
  // The sample file gives back the same rows and so the same texts.
  r = runTwr("show '" + stem + ".ovd' --decode");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);

  r = runTwr("show '" + stem + ".ovd' --decode --boxes");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "twr show: --boxes and --decode cannot be combined\n");

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
  std::filesystem::remove(stem + ".raw");
  std::filesystem::remove(stem + ".ovd");
}
