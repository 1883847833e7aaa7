#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "boxes/ovboxes.h"
#include "decode/ovexthrd.h"
#include "files/ovdataio.h"
#include "runtwr.h"
#include "synth/generator.h"

namespace {

std::string temp(const std::string& name) {
  return testing::TempDir() + "cli_" + std::to_string(getpid()) + "_" + name;
}

// Raw bytes of the synthesized HID device: attach, enumeration, polling.
std::vector<uint8_t> hidCapture(double seconds) {
  synth::Tgenerator generator(synth::makeScenario("hid", 3), 3);
  std::vector<uint8_t> raw;
  while (generator.time() < seconds * 12e6) generator.next(raw);
  generator.finish(raw);
  return raw;
}

bool oneLine(const std::string& text) { return !text.empty() && text.find('\n') == text.size() - 1; }

}  // namespace

TEST(Cli, UsageAndHelp) {
  Trun r = runTwr("");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "twr: missing command (see 'twr --help')\n");
  r = runTwr("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("  decode "), std::string::npos);
  EXPECT_NE(r.out.find("  show "), std::string::npos);
  r = runTwr("frobnicate");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "twr: unknown command 'frobnicate' (see 'twr --help')\n");

  for (const char* command : {"decode", "show"}) {
    r = runTwr(std::string(command) + " --help");
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(r.out.rfind(std::string("usage: twr ") + command, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("--boxes"), std::string::npos);
    EXPECT_TRUE(r.err.empty());
    // --help wins over anything else on the line.
    EXPECT_EQ(runTwr(std::string(command) + " a b --nonsense --help").status, 0);
  }

  r = runTwr("decode");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "twr decode: missing operand (usage: twr decode RAWFILE [-o OUT.ovd] [--boxes] [--decode])\n");
  r = runTwr("decode a b");
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(oneLine(r.err)) << r.err;
  EXPECT_NE(r.err.find("too many operands"), std::string::npos);
  r = runTwr("decode a -o");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("-o needs OUT.ovd"), std::string::npos);
  r = runTwr("show a.ovd -o x");  // show saves nothing
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "twr show: unknown option -o (usage: twr show FILE.ovd [--boxes] [--decode])\n");
  EXPECT_TRUE(r.out.empty());
}

TEST(Cli, InputErrors) {
  Trun r = runTwr("decode /nonexistent/raw");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "twr: cannot read /nonexistent/raw: No such file or directory\n");
  r = runTwr("show /nonexistent/x.ovd");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "twr: /nonexistent/x.ovd: cannot open file\n");

  const std::string dir = testing::TempDir();
  r = runTwr("decode " + dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "twr: cannot read " + dir + ": Is a directory\n");
  r = runTwr("show " + dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "twr: " + dir + ": cannot read file: Is a directory\n");

  writeFile(temp("notraw"), "ORLAVEX?\x01\x02");
  r = runTwr("decode " + temp("notraw"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "twr: " + temp("notraw") + ": not a raw capture (bad magic or no data)\n");
  writeFile(temp("empty.raw"), "");
  EXPECT_EQ(runTwr("decode " + temp("empty.raw")).status, 1);

  // A raw capture is not a sample file.
  writeFile(temp("raw-as-ovd"), "ORLAVEX.\x3f\x85");
  r = runTwr("show " + temp("raw-as-ovd"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "twr: " + temp("raw-as-ovd") + ": not a sample file (bad length line)\n");

  writeFile(temp("badnum.ovd"),
            "OVFMT01\n0\nTRANSAX 0;T:IN;X:1\n  TOKEN   IN    1;K:9;TI:1x;AD:99999999999\n");
  r = runTwr("show " + temp("badnum.ovd"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "twr: " + temp("badnum.ovd") + ":4: malformed number (stoi)\n");
  EXPECT_TRUE(r.out.empty());  // nothing of a partial load is printed

  writeFile(temp("garbled.ovd"), std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03garbage", 18));
  r = runTwr("show " + temp("garbled.ovd"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "twr: " + temp("garbled.ovd") + ": damaged compressed data\n");

  const std::vector<uint8_t> raw = hidCapture(0.05);
  writeFile(temp("small.raw"), std::string(raw.begin(), raw.end()));
  r = runTwr("decode " + temp("small.raw") + " -o /nonexistent/out.ovd");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "twr: /nonexistent/out.ovd: cannot create file\n");

  // A well-formed file of an empty capture is not an error.
  TdataIO().saveLinearToFile({}, temp("nothing.ovd"));
  r = runTwr("show " + temp("nothing.ovd"));
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.empty());
  EXPECT_TRUE(r.err.empty());
}

TEST(Cli, DecodeSaveAndShowAgree) {
  std::vector<uint8_t> raw = hidCapture(0.3);
  writeFile(temp("hid.raw"), std::string(raw.begin(), raw.end()));

  TexThread decoder;
  ASSERT_TRUE(decoder.startDecode(&raw));
  const std::vector<TlinRow>& rows = *decoder.rows;
  ASSERT_GT(rows.size(), 300u);
  std::string body, boxes;
  TdataIO::appendBody(rows, body);
  Tboxes gen;
  for (const TlinRow& row : rows) boxes += gen.getBoxesString(row.obj);

  Trun r = runTwr("decode " + temp("hid.raw"));
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.err.empty());
  EXPECT_EQ(r.out, body);
  r = runTwr("decode --boxes " + temp("hid.raw"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, boxes);

  r = runTwr("decode " + temp("hid.raw") + " -o " + temp("hid.ovd"));
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out.empty());
  r = runTwr("show " + temp("hid.ovd"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, body);
  r = runTwr("show " + temp("hid.ovd") + " --boxes");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, boxes);
  r = runTwr("decode " + temp("hid.raw") + " -o " + temp("hid2.ovd") + " --boxes");
  EXPECT_EQ(r.out, boxes);
  EXPECT_EQ(readFile(temp("hid2.ovd")), readFile(temp("hid.ovd")));
}

TEST(Cli, BundledExampleMatchesItsReference) {
  const std::string top = TWR_SOURCE_DIR;
  // The same command as tools/make-example: the example must come from the synthesizer as it is now.
  const std::string raw = temp("example.raw");
  ASSERT_EQ(
      std::system(("'" TWR_SYNTH_BINARY "' --scenario hid --seconds 0.5 --seed 1 -o '" + raw + "'").c_str()),
      0);
  EXPECT_TRUE(readFile(raw) == readFile(top + "/data/example.raw"))
      << "the synthesizer changed: run tools/make-example and review the diff";

  Trun shown = runTwr("show --boxes '" + top + "/default.ovd'");
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.out, readFile(top + "/data/example.boxes"));
  Trun decoded = runTwr("decode --boxes '" + top + "/data/example.raw'");
  EXPECT_EQ(decoded.out, shown.out);
  EXPECT_EQ(runTwr("decode '" + top + "/data/example.raw'").out,
            runTwr("show '" + top + "/default.ovd'").out);
}
