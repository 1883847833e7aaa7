#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "files/ovdataio.h"
#include "runtwr.h"
#include "synth/rawencoder.h"
#include "synth/traffic.h"

namespace {

bool oneLine(const std::string& text) { return !text.empty() && text.find('\n') == text.size() - 1; }

}  // namespace

TEST(Cli, UsageAndHelp) {
  const Trun help = runTwr("--help");
  EXPECT_EQ(help.status, 0);
  for (const std::string command : {"decode", "show", "stream"}) {
    EXPECT_NE(help.out.find("  " + command + " "), std::string::npos) << command;
    const Trun r = runTwr(command + " --help");
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(r.out.rfind("usage: twr " + command, 0), 0u) << r.out;
    // --help wins over anything else on the line.
    EXPECT_EQ(runTwr(command + " a b --nonsense --help").status, 0);
  }

  // Usage errors: status 2, one line on stderr, nothing on stdout.
  const std::pair<const char*, const char*> misuse[] = {
      {"", "twr: missing command (see 'twr --help')\n"},
      {"frobnicate", "twr: unknown command 'frobnicate' (see 'twr --help')\n"},
      {"decode", "twr decode: missing operand (usage: twr decode RAWFILE [-o OUT.ovd] "},
      {"decode a -o", "-o needs OUT.ovd"},
      {"show a.ovd -o x", "twr show: unknown option -o (usage: twr show FILE.ovd "},
      // Sizes whose buffer, 2 KiB more than the size, would wrap in 32 bits or not exist.
      {"capture --size 4194304K -o x.ovd", "--size 4194304K is larger than the largest capture, "},
      {"capture --size 18446744073709551615K -o x.ovd", "--size needs a capture size of at least 1K"},
      {"decode a -o - --boxes",
       "twr decode: -o - takes standard output; --boxes, --decode, --objects and --format need it"},
      {"decode a --format text --boxes", "only one of --boxes, --decode, --objects and --format"},
      {"show a.ovd --format lines", "twr show: --format is text or summary"},
      {"capture --size 4M -o - --pcap -", "only one of -o, --raw and --pcap can be - (standard output)"},
  };
  for (const auto& [args, err] : misuse) {
    const Trun r = runTwr(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_TRUE(oneLine(r.err)) << r.err;
    EXPECT_NE(r.err.find(err), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << args;
  }
}

TEST(Cli, InputErrors) {
  const std::string dir = testing::TempDir();
  writeFile(tempPath("notraw"), "ORLAVEX?\x01\x02");
  writeFile(tempPath("raw-as-ovd"), "ORLAVEX.\x3f\x85");  // a raw capture is not a sample file
  writeFile(tempPath("magic.raw"), "ORLAVEX.\x85");       // filler, but not one item
  writeFile(tempPath("badnum.ovd"),
            "OVFMT01\n0\nTRANSAX 0;T:IN;X:1\n  TOKEN   IN    1;K:9;TI:1x;AD:99999999999\n");
  writeFile(tempPath("garbled.ovd"), std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03garbage", 18));

  const std::pair<std::string, std::string> failures[] = {
      {"decode /nonexistent/raw", "/nonexistent/raw: cannot open file: No such file or directory"},
      {"show /nonexistent/x.ovd", "/nonexistent/x.ovd: cannot open file: No such file or directory"},
      {"import /nonexistent/x.pcap " + tempPath("x.ovd"),
       "/nonexistent/x.pcap: cannot open file: No such file or directory"},
      {"show " + dir, dir + ": cannot read file: Is a directory"},
      {"decode " + tempPath("notraw"), tempPath("notraw") + ": not a raw capture (bad magic or no data)"},
      {"decode " + tempPath("magic.raw"),
       tempPath("magic.raw") + ": not a raw capture (bad magic or no data)"},
      {"show " + tempPath("raw-as-ovd"), tempPath("raw-as-ovd") + ": not a sample file (bad length line)"},
      // Nothing of a partial load is printed.
      {"show " + tempPath("badnum.ovd"), tempPath("badnum.ovd") + ": line 4: malformed number"},
      {"show " + tempPath("garbled.ovd"), tempPath("garbled.ovd") + ": damaged compressed data"},
      {"decode " TWR_SOURCE_DIR "/data/example.raw -o /nonexistent/out.ovd",
       "/nonexistent/out.ovd: cannot create file: No such file or directory"},
  };
  for (const auto& [args, err] : failures) {
    const Trun r = runTwr(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.err, "twr: " + err + "\n");
    EXPECT_TRUE(r.out.empty()) << args;
  }

  // A well-formed file of an empty capture is not an error.
  TdataIO().saveLinearToFile({}, tempPath("nothing.ovd"));
  const Trun empty = runTwr("show " + tempPath("nothing.ovd"));
  EXPECT_EQ(empty.status, 0);
  EXPECT_TRUE(empty.out.empty() && empty.err.empty());

  // A pipe may never end: a stream that is not a capture is refused by its head.
  const std::string fifo = tempPath("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<size_t> written{0};
  std::thread writer([&] {
    std::signal(SIGPIPE, SIG_IGN);
    const int fd = open(fifo.c_str(), O_WRONLY);
    const std::string block(1 << 16, 'x');
    for (int i = 0; i < 1024 && write(fd, block.data(), block.size()) > 0; ++i) written += block.size();
    close(fd);
  });
  const Trun piped = runTwr("decode " + fifo);
  writer.join();
  unlink(fifo.c_str());
  EXPECT_EQ(piped.status, 1);
  EXPECT_EQ(piped.err, "twr: " + fifo + ": not a raw capture (bad magic or no data)\n");
  EXPECT_LT(written.load(), size_t{1} << 20);
}

// Every input is read once, so a FIFO or a pipe gives what the file gives, and
// "-" is standard input. A twr that opened its input twice would wait for ever
// on the FIFO: the time limit makes that a failure.
TEST(Cli, InputsThatArePipes) {
  // Larger than a pipe's buffer and the head read first, so reading goes on after it.
  const std::string raw = tempPath("piped.raw"), ovd = tempPath("piped.ovd"), pcap = tempPath("piped.pcap");
  ASSERT_EQ(std::system(("'" TWR_SYNTH_BINARY "' --scenario bulk --bytes 400000 -o '" + raw + "'").c_str()),
            0);
  ASSERT_EQ(runTwr("decode " + raw + " -o " + ovd).status, 0);
  ASSERT_EQ(runTwr("export " + raw + " " + pcap).status, 0);
  ASSERT_GT(readFile(ovd).size(), 100000u);

  const std::pair<const char*, std::string> commands[] = {
      {"show IN", ovd},        {"show IN", pcap},      {"decode IN", raw},     {"decode IN", pcap},
      {"import IN OUT", pcap}, {"export IN OUT", ovd}, {"export IN OUT", raw},
  };
  const auto with = [](std::string command, const std::string& in, const std::string& out) {
    command.replace(command.find("IN"), 2, in);
    const size_t at = command.find("OUT");
    return at == std::string::npos ? command : command.replace(at, 3, out);
  };
  int fifos = 0;
  for (const auto& [command, file] : commands) {
    const std::string reference = tempPath("reference.out"), out = tempPath("piped.out");
    const Trun expected = runTwr(with(command, file, reference));
    ASSERT_EQ(expected.status, 0) << command << " " << file;
    const std::string fifo = tempPath("input" + std::to_string(fifos++));
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // The input operand, and the shell command before twr that feeds it.
    const std::pair<std::string, std::string> ways[] = {
        {fifo, "(timeout 30 sh -c \"cat '" + file + "' >'" + fifo + "'\" &);"},
        {"-", "cat '" + file + "' |"},
        {"/dev/stdin", "cat '" + file + "' |"},
    };
    for (const auto& [in, feed] : ways) {
      SCOPED_TRACE(with(command, in, out) + " from " + file);
      std::remove(out.c_str());
      const Trun r = runTwr(feed, with(command, in, out), 20);
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_TRUE(r.out == expected.out) << r.out.size() << " bytes, not " << expected.out.size();
      EXPECT_TRUE(readFile(out) == readFile(reference));
    }
    unlink(fifo.c_str());
  }
}

// An event that makes no object is skipped and counted on standard error;
// --objects shows the packets in bus order, without their groupers.
TEST(Cli, SkippedEventsAndFlatObjects) {
  synth::TbusWriter bus;
  bus.setSofs(false);
  bus.idle(20);
  bus.packet(synth::tokenPacket(synth::pidIn, 3, 1));
  bus.idle(4);
  bus.packet(synth::handshakePacket(synth::pidNak));
  bus.idle(20);
  bus.packet(synth::tokenPacket(synth::pidPing, 3, 1));
  bus.idle(20);
  bus.packet(synth::sofPacket(7));
  bus.finish();
  const std::vector<uint8_t> raw = synth::encodeRaw(bus.takeRuns());
  const std::string path = tempPath("ping.raw");
  writeFile(path, std::string(raw.begin(), raw.end()));

  Trun r = runTwr("decode " + path + " --objects");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err.rfind("twr: " + path + ": 1 of 4 bus events made no object (", 0), 0u) << r.err;
  // ECMAScript's "." stops at a line end.
  const std::regex flat(
      "  TOKEN   IN    1;K:9;.*;AD:3;EP:1;.*\n  HANDSH  NAK   1;H:10;.*\nSOF           0;S:5;.*\n");
  EXPECT_TRUE(std::regex_match(r.out, flat)) << r.out;
  EXPECT_EQ(runTwr("decode " + path).out.rfind("TRANSAX 0;T:IN;X:2\n", 0), 0u);

  // The same packets imported from pcap list the same objects; the idle
  // after the last one is not recorded there.
  ASSERT_EQ(runTwr("export " + path + " " + tempPath("ping.pcap")).status, 0);
  EXPECT_EQ(runTwr("decode " + tempPath("ping.pcap") + " --objects").out,
            r.out.substr(0, r.out.size() - 2) + "0\n");
}

// "-" as an output is standard output, byte for byte the file it stands for;
// a summary then goes to standard error.
TEST(Cli, DashAsOutputIsStandardOutput) {
  const std::string raw = TWR_SOURCE_DIR "/data/example.raw";
  const std::pair<std::string, std::string> writes[] = {
      {"decode " + raw + " -o ", ""},
      {"export " + raw + " ", "packets written 907\nbus resets left out 3\n"},
      {"import " TWR_TEST_DATA_DIR "/packetry/ksolti-core-enum/capture.pcap ",
       "packets read 212\nrows saved 291\n"},
  };
  for (const auto& [command, summary] : writes) {
    const Trun toFile = runTwr(command + tempPath("out"));
    const Trun toStdout = runTwr(command + "-");
    EXPECT_EQ(toStdout.status, 0) << command;
    EXPECT_EQ(toFile.out, summary);
    EXPECT_EQ(toStdout.err, summary);
    EXPECT_TRUE(toStdout.out == readFile(tempPath("out"))) << command;
  }
}

TEST(Cli, BundledExampleMatchesItsReference) {
  const std::string top = TWR_SOURCE_DIR;
  // The same command as tools/make-example: the example must come from the synthesizer as it is now.
  const std::string raw = tempPath("example.raw");
  ASSERT_EQ(
      std::system(("'" TWR_SYNTH_BINARY "' --scenario hid --seconds 0.5 --seed 1 -o '" + raw + "'").c_str()),
      0);
  EXPECT_TRUE(readFile(raw) == readFile(top + "/data/example.raw"))
      << "the synthesizer changed: run tools/make-example and review the diff";

  const Trun shown = runTwr("show --boxes '" + top + "/default.ovd'");
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.out, readFile(top + "/data/example.boxes"));
  // Saving prints nothing, unless boxes are asked for too; the file shows the same.
  const std::string saved = tempPath("example.ovd");
  EXPECT_EQ(runTwr("decode --boxes '" + top + "/data/example.raw' -o " + saved).out, shown.out);
  const Trun body = runTwr("show '" + top + "/default.ovd'");
  ASSERT_GT(body.out.size(), 10000u);
  EXPECT_EQ(runTwr("show " + saved).out, body.out);
  const Trun decoded = runTwr("decode '" + top + "/data/example.raw' -o " + tempPath("again.ovd"));
  EXPECT_EQ(decoded.status, 0);
  EXPECT_TRUE(decoded.out.empty());
  EXPECT_EQ(runTwr("decode '" + top + "/data/example.raw'").out, body.out);

  // Both print the rows in either form; text is the default; saving still prints the form asked.
  EXPECT_EQ(runTwr("show --format text '" + top + "/default.ovd'").out, body.out);
  const Trun summary = runTwr("show --format summary '" + top + "/default.ovd'");
  EXPECT_EQ(summary.status, 0);
  EXPECT_EQ(summary.out.rfind("  0.000000 ms  Reset for 2 000 000 ns  Idle 60000\n", 0), 0u);
  EXPECT_EQ(std::count(summary.out.begin(), summary.out.end(), '\n'),
            std::count(body.out.begin(), body.out.end(), '\n'));
  EXPECT_EQ(runTwr("decode --format summary '" + top + "/data/example.raw' -o " + tempPath("again.ovd")).out,
            summary.out);
}
