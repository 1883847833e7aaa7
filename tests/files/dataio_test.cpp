#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "allocfail.h"
#include "decode/ovexthrd.h"
#include "decode/ovgroup.h"
#include "files/ovdataio.h"
#include "support/testfiles.h"
#include "synth/generator.h"

namespace {

void writeGzip(const std::string& path, const std::string& bytes) {
  gzFile f = gzopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  gzwrite(f, bytes.data(), static_cast<unsigned>(bytes.size()));
  gzclose(f);
}

std::string readGzip(const std::string& path) {
  gzFile f = gzopen(path.c_str(), "rb");
  std::string out;
  char buf[4096];
  for (int n; f && (n = gzread(f, buf, sizeof buf)) > 0;) out.append(buf, n);
  int code = Z_OK;
  if (f) gzerror(f, &code);
  EXPECT_EQ(code, Z_OK) << path;  // the stream's check value and length agree
  if (f) gzclose(f);
  return out;
}

struct Tloaded {
  Tcapture capture;
  unsigned count = 0;
};

Tloaded load(const std::string& path, TdataIO* io = nullptr) {
  TdataIO local;
  Tloaded l;
  l.count = (io ? *io : local).loadLinearFile(path, l.capture);
  return l;
}

// A decoded capture of the synthesized HID device: enumeration and polling.
void decodeHid(TexThread& decoder, double seconds) {
  synth::TrawOptions options;
  options.varied = true;
  const std::vector<uint8_t> raw = synth::rawCapture("hid", seconds, 5, options);
  ASSERT_TRUE(decoder.startDecode(&raw));
}

}  // namespace

TEST(SampleFile, SaveAndLoadGiveTheSameRows) {
  TexThread decoder;
  decodeHid(decoder, 1.0);
  const Tcapture& rows = *decoder.capture;
  ASSERT_GT(rows.rowCount(), 1000u);

  const std::string path = tempPath("roundtrip.ovd");
  TdataIO io;
  EXPECT_EQ(io.saveLinearToFile(rows, path), static_cast<int>(rows.rowCount()));
  EXPECT_EQ(io.lastError(), "");
  std::string body;
  TdataIO::appendBody(rows, body);
  EXPECT_EQ(readGzip(path), "OVFMT01\n" + std::to_string(body.size()) + "\n" + body);
  EXPECT_EQ(readFile(path).substr(0, 2), "\x1f\x8b");  // really compressed

  // Every field is in the text form.
  const Tloaded back = load(path);
  EXPECT_EQ(back.count, rows.rowCount());
  ASSERT_EQ(back.capture.rootCount(), rows.rootCount());
  ASSERT_EQ(back.capture.rowCount(), rows.rowCount());
  std::string again;
  TdataIO::appendBody(back.capture, again);
  EXPECT_EQ(again, body);

  // A body of many compression chunks.
  Tcapture many;
  for (int i = 0; i < 60000; ++i) {
    auto h = std::make_shared<Thandshake>();
    h->pid = i % 16;
    h->time = 1000000007ull * i;
    many.appendRoot(h);
  }
  EXPECT_EQ(io.saveLinearToFile(many, tempPath("many.ovd")), 60000);
  std::string manyBody;
  TdataIO::appendBody(many, manyBody);
  ASSERT_GT(manyBody.size(), 2u << 20);
  EXPECT_EQ(std::system(("gzip -t " + tempPath("many.ovd")).c_str()), 0);  // blocks joined into one stream
  EXPECT_EQ(load(tempPath("many.ovd")).count, 60000u);
  std::string streamed;
  int pieces = 0;
  TdataIO::streamBody(many, 0, many.rowCount(), [&](std::string_view piece) {
    streamed += piece;
    ++pieces;
  });
  EXPECT_EQ(streamed, manyBody);
  EXPECT_GT(pieces, 2);
}

TEST(SampleFile, EmptyAndRejectedFiles) {
  TdataIO io;
  const std::string empty = tempPath("empty.ovd");
  EXPECT_EQ(io.saveLinearToFile(Tcapture(), empty), 0);
  EXPECT_EQ(io.lastError(), "");  // an empty capture is saved, not refused
  EXPECT_EQ(readGzip(empty), "OVFMT01\n0\n");
  Tloaded l = load(empty, &io);
  EXPECT_EQ(l.count, 0u);
  EXPECT_EQ(io.lastError(), "");
  EXPECT_TRUE(l.capture.rowCount() == 0);

  writeGzip(tempPath("short.ovd"), "OVFMT01");
  EXPECT_EQ(load(tempPath("short.ovd"), &io).count, 0u);
  EXPECT_EQ(io.lastError(), "not a sample file (too short)");

  // A cut-off compressed stream is not taken for a shorter capture.
  TexThread decoder;
  decodeHid(decoder, 0.1);
  io.saveLinearToFile(*decoder.capture, tempPath("whole.ovd"));
  const std::string whole = readFile(tempPath("whole.ovd"));
  writeFile(tempPath("cut.ovd"), whole.substr(0, whole.size() - 12));
  l = load(tempPath("cut.ovd"), &io);
  EXPECT_EQ(l.count, 0u);
  EXPECT_EQ(io.lastError(), "damaged compressed data");
  EXPECT_TRUE(l.capture.rootCount() == 0);
}

TEST(SampleFile, BodyLinesAttachByLevel) {
  // A transfer with two transactions of three packets: nine lines, one tree.
  const std::string nine =
      "TRANSFR 0;C:CONTROL;X:2\n"
      "  TRANSAX 1;T:SETUP;X:3\n"
      "    TOKEN   SETUP 2;K:13;TI:1;AD:0;EP:0;5P:02;TL:1\n"
      "    DATA    DATA0 2;D:3;TI:2;DA:80,06,00,01,00,00,12,00;6P:bb29;TL:1\n"
      "    HANDSH  ACK   2;H:2;TI:3;TL:1\n"
      "  TRANSAX 1;T:IN;X:3\n"
      "    TOKEN   IN    2;K:9;TI:4;AD:0;EP:0;5P:02;TL:1\n"
      "    DATA    DATA1 2;D:11;TI:5;DA:12,01;6P:0000;TL:1\n"
      "    HANDSH  ACK   2;H:2;TI:6;TL:1\n";
  writeGzip(tempPath("nine.ovd"), "OVFMT01\n" + std::to_string(nine.size()) + "\n" + nine);
  Tloaded l = load(tempPath("nine.ovd"));
  EXPECT_EQ(l.count, 9u);
  ASSERT_EQ(l.capture.rootCount(), 1u);
  auto& transfer = static_cast<Ttransfer&>(*l.capture.root(0));
  ASSERT_EQ(transfer.children.size(), 2u);
  EXPECT_EQ(static_cast<Tgrouper&>(*transfer.children[1]).children.size(), 3u);
  std::string body;
  TdataIO::appendBody(l.capture, body);
  EXPECT_EQ(body, nine);
  EXPECT_EQ(transfer.findData(), (std::vector<uint8_t>{0x12, 0x01}));

  // Skipped lines ("-", empty, no object) and a level with no grouper above
  // it (dropped but counted).
  const std::string messy =
      "OVFMT01\n0\n"
      "- a comment\n"
      "\n"
      "SOF_GR  0;G:SOFgroup;X:1\n"
      "  SOF           1;S:5;TI:1;FR:1;5P:00;TL:0\n"
      "      TOKEN   IN    3;K:9;TI:2;AD:0;EP:0;5P:02;TL:1\n"
      "no object here\n"
      "    TRANSFR 4;C:CONTROL;X:1\n"  // dropped, and so is what follows at its children's level
      "      TOKEN   IN    3;K:9;TI:2;AD:0;EP:0;5P:02;TL:1\n"
      "    TRANSAX 4;T:IN;X:0\n"        // its children's list lands at its own level
      "HANDSH  ACK   0;H:2;TI:3;TL:1";  // last line without newline
  writeFile(tempPath("messy.ovd"), messy);
  l = load(tempPath("messy.ovd"));
  EXPECT_EQ(l.count, 7u);
  ASSERT_EQ(l.capture.rootCount(), 2u);
  EXPECT_EQ(l.capture.root(1)->objType, otHandshake);
  EXPECT_EQ(l.capture.rowCount(), 3u);
}

TEST(SampleFile, MalformedAndHostileFilesFailWithTheirReason) {
  writeGzip(tempPath("badnum.ovd"), "OVFMT01\n0\nSOF 0;S:5\n\n- x\nTOKEN 0;K:9;AD:q\n");
  TdataIO io;
  Tloaded l = load(tempPath("badnum.ovd"), &io);
  EXPECT_EQ(l.count, 0u);
  EXPECT_EQ(io.lastError(), "line 6: malformed number");
  EXPECT_TRUE(l.capture.rootCount() == 0);  // nothing of a partial load is handed out
  EXPECT_TRUE(l.capture.rowCount() == 0);
  writeGzip(tempPath("range.ovd"), "OVFMT01\n0\nSOF 0;S:5;TI:99999999999999999999\n");
  EXPECT_EQ(load(tempPath("range.ovd"), &io).count, 0u);
  EXPECT_EQ(io.lastError(), "line 3: malformed number");

  // Groupers nested far deeper than any walk over the tree may recurse.
  std::string deep = "OVFMT01\n0\n";
  for (int level = 0; level < 80000; ++level) deep += "TRANSAX " + std::to_string(level) + ";T:IN;X:1\n";
  writeGzip(tempPath("deep.ovd"), deep);
  l = load(tempPath("deep.ovd"), &io);
  EXPECT_EQ(l.count, 0u);
  EXPECT_EQ(io.lastError(), "line 67: level 64 outside 0..63");
  EXPECT_TRUE(l.capture.rootCount() == 0);

  // The deepest level allowed still loads, and its rows are built.
  deep.resize(deep.find("TRANSAX 64;"));
  writeGzip(tempPath("deepest.ovd"), deep);
  l = load(tempPath("deepest.ovd"), &io);
  EXPECT_EQ(l.count, 64u);
  EXPECT_EQ(l.capture.rowCount(), 64u);

  // A line without end is refused at the cap, not read until memory runs out.
  const std::string head = "OVFMT01\n0\nSOF 0;S:5\nRESET 0;Y:Reset;TI:1;";
  const size_t fits = TdataIO::maxLineLength - (head.size() - head.rfind('\n') - 1);
  writeGzip(tempPath("longest.ovd"), head + std::string(fits, 'x') + "\n");
  EXPECT_EQ(load(tempPath("longest.ovd"), &io).count, 2u);
  writeGzip(tempPath("toolong.ovd"), head + std::string(fits + 1, 'x') + "\n");
  l = load(tempPath("toolong.ovd"), &io);
  EXPECT_EQ(l.count, 0u);
  EXPECT_EQ(io.lastError(), "line 4: longer than 1048576 bytes");
  EXPECT_TRUE(l.capture.rootCount() == 0);

  // A load keeps no list of what it read: with every allocation of 1.5 MB
  // failing, 70,000 objects still load.
  std::string many = "OVFMT01\n0\n";
  for (int k = 0; k < 70000; ++k) many += "SOF 0;S:5;TI:" + std::to_string(k) + "\n";
  writeGzip(tempPath("many.ovd"), many);
  failAllocations(allocFailThisThread, 3 << 19);
  l = load(tempPath("many.ovd"), &io);
  failAllocations(allocFailNone, 0);
  EXPECT_EQ(l.count, 70000u) << io.lastError();
  EXPECT_EQ(l.capture.rowCount(), 70000u);
}
