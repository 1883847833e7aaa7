// The bus-use overview of a capture: what each frame holds must be what its
// packets put on the wire, however the capture arrived, and every coarser
// level must say what its frames say.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <random>
#include <set>

#include "capture.h"
#include "decode/ovchain.h"
#include "decode/ovgroup.h"
#include "files/ovcapturefile.h"
#include "files/ovrowutils.h"

using namespace synth;

namespace {

// Per frame, bits of SOFs, handshakes and the rest, counted from the objects' text lines.
struct Ttally {
  std::map<uint64_t, std::array<uint64_t, 3>> bits;
  std::set<uint64_t> resets;
};

uint64_t numberAfter(const std::string& line, const std::string& tag) {
  return std::stoull(line.substr(line.find(tag) + tag.size()));
}

// The PID, the fields and the CRC are the line's bytes; sync and end of packet add 8 and 3 bits.
void tallyLine(const std::string& line, Ttally& tally) {
  const uint64_t frame = numberAfter(line, "TI:") / 12000;
  if (line.find(";Y:Reset") != std::string::npos) {
    tally.resets.insert(frame);
    return;
  }
  uint64_t bytes = 1;
  int kind = 2;
  if (line.find(";S:") != std::string::npos) {
    bytes += 2;
    kind = 0;
  } else if (line.find(";H:") != std::string::npos) {
    kind = 1;
  } else if (line.find(";K:") != std::string::npos) {
    bytes += 2;
  } else {
    const std::size_t da = line.find("DA:") + 3, end = line.find(';', da);
    const std::string payload = line.substr(da, end - da);
    bytes += 2 + (payload.empty() ? 0 : (payload.size() + 1) / 3);
  }
  tally.bits[frame][kind] += 8 + 8 * bytes + 3;
}

void expectFramesAgree(const Tcapture& capture, const Ttally& tally) {
  const Ttimeline& timeline = capture.timeline();
  ASSERT_FALSE(tally.bits.empty());
  ASSERT_GE(timeline.frameCount(), tally.bits.rbegin()->first + 1);
  for (uint64_t f = 0; f < timeline.frameCount(); ++f) {
    SCOPED_TRACE("frame " + std::to_string(f));
    const TtimelineSpan got = timeline.bucket(0, f);
    const auto it = tally.bits.find(f);
    const std::array<uint64_t, 3> want = it == tally.bits.end() ? std::array<uint64_t, 3>{} : it->second;
    EXPECT_EQ(got.sofBits, want[0]);
    EXPECT_EQ(got.handshakeBits, want[1]);
    EXPECT_EQ(got.dataBits, want[2]);
    EXPECT_EQ((got.marks & timelineReset) != 0, tally.resets.count(f) == 1);
  }
}

// A capture of every packet kind: enumeration, bulk traffic with NAKs, a reset
// and, with SOFs off, 5 ms of silence; then 600 frames of SOFs only.
std::vector<uint8_t> synthesized() {
  TbusWriter bus;
  TusbHost host(bus, 7, testcap::steadyTiming());
  bus.reset(120000);
  bus.idle(500);
  host.controlRead(0, 8, getDescriptor(1, 0, 0, 18), Tbytes(18, 0x12));
  host.controlWrite(0, 8, setAddress(5), {});
  host.bulkIn(5, 1, 64, Tbytes(700, 0xa5), 3);
  host.bulkOut(5, 2, 64, Tbytes(300, 0x5a));
  bus.setSofs(false);
  bus.idle(5 * 12000);
  bus.setSofs(true);
  bus.idle(600 * 12000);
  return testcap::rawOf(bus);
}

Tcapture decodedInPieces(const std::vector<uint8_t>& raw, std::size_t piece) {
  Tcapture capture;
  TdecodeChain chain(capture);
  for (std::size_t have = 0; have < raw.size();) {
    have = std::min(raw.size(), have + piece);
    chain.takeRaw(raw.data(), have, have == raw.size());
  }
  return capture;
}

Ttally tallyOfBusObjects(const Tcapture& capture) {
  Ttally tally;
  for (std::size_t ix = 0; ix < capture.busObjectCount(); ++ix)
    tallyLine(rowutils::objToString(capture.busObject(ix)), tally);
  return tally;
}

template <class T>
std::shared_ptr<T> at(uint64_t time, uint32_t pid, uint32_t idle = 10) {
  auto p = std::make_shared<T>();
  p->time = time;
  p->pid = pid;
  p->idle = idle;
  return p;
}

}  // namespace

TEST(Timeline, FramesHoldTheWireBitsOfTheirPacketsFromEverySource) {
  {
    SCOPED_TRACE("the example sample file");
    Tinput input(TWR_SOURCE_DIR "/default.ovd");
    Tcapture capture;
    TcaptureFile file;
    ASSERT_TRUE(file.load(input, capture)) << file.lastError();
    Ttally tally;
    for (std::size_t ix = 0; ix < capture.rowCount(); ++ix) {
      const TobjPtr obj = capture.row(ix).obj;
      if (obj->objType <= otHandshake) tallyLine(rowutils::objToString(obj), tally);
    }
    ASSERT_FALSE(tally.resets.empty());
    expectFramesAgree(capture, tally);
  }
  {
    SCOPED_TRACE("a synthesized capture, decoded as it arrives");
    const Tcapture capture = decodedInPieces(synthesized(), 997);
    const Ttally tally = tallyOfBusObjects(capture);
    expectFramesAgree(capture, tally);
    // The 5 ms without SOFs are marked where they start.
    uint64_t suspends = 0;
    for (uint64_t f = 0; f < capture.timeline().frameCount(); ++f)
      suspends += (capture.timeline().bucket(0, f).marks & timelineSuspend) != 0;
    EXPECT_EQ(suspends, 1u);
  }
  {
    SCOPED_TRACE("a real capture");
    Tinput input(TWR_TEST_DATA_DIR "/packetry/ksolti-core-enum/capture.pcap");
    Tcapture capture;
    TcaptureFile file;
    ASSERT_TRUE(file.load(input, capture)) << file.lastError();
    expectFramesAgree(capture, tallyOfBusObjects(capture));
  }
}

TEST(Timeline, CoarseLevelsAndSpansSayWhatTheirFramesSay) {
  const Tcapture capture = decodedInPieces(synthesized(), 1 << 16);
  const Ttimeline& timeline = capture.timeline();
  ASSERT_GT(timeline.frameCount(), 600u);
  const auto same = [](const TtimelineSpan& a, const TtimelineSpan& b) {
    return a.sofBits == b.sofBits && a.handshakeBits == b.handshakeBits && a.dataBits == b.dataBits &&
           a.errors == b.errors && a.marks == b.marks;
  };
  const auto framesOf = [&](uint64_t first, uint64_t end) {
    TtimelineSpan s;
    for (uint64_t f = first; f < std::min(end, timeline.frameCount()); ++f) s += timeline.bucket(0, f);
    return s;
  };
  for (unsigned level = 1; level < Ttimeline::levelCount; ++level) {
    const uint64_t size = uint64_t{1} << (Ttimeline::levelShift * level);
    ASSERT_EQ(timeline.bucketCount(level), (timeline.frameCount() + size - 1) / size) << "level " << level;
    for (std::size_t ix = 0; ix < timeline.bucketCount(level); ++ix)
      EXPECT_TRUE(same(timeline.bucket(level, ix), framesOf(ix * size, (ix + 1) * size)))
          << "level " << level << " bucket " << ix;
  }
  std::mt19937 rng(3);
  for (int i = 0; i < 300; ++i) {
    uint64_t a = rng() % (timeline.frameCount() + 20), b = rng() % (timeline.frameCount() + 20);
    if (a > b) std::swap(a, b);
    EXPECT_TRUE(same(timeline.span(a, b), framesOf(a, b))) << a << ".." << b;
  }
}

TEST(Timeline, ErrorsResetsAndSuspendsMarkTheirFrames) {
  Tcapture capture;
  auto group = std::make_shared<TsofGroup>();
  group->children = {at<Tsof>(0, pidSof), at<Tsof>(12000, pidSof)};
  capture.appendRoot(group);
  auto in = std::make_shared<Ttransax>(TtrxType::IN);
  auto data = at<Tdata>(12100, pidData1);
  data->data.assign(10, 0);
  data->flags = flagCrc;
  auto token = at<Ttoken>(12050, pidIn);
  token->flags = flagPidCheck;
  // The bus goes quiet after the handshake: the idle starts in the frame after.
  in->children = {token, data, at<Thandshake>(23990, pidAck, 40000)};
  capture.appendRoot(in);
  auto reset = std::make_shared<Treset>();
  reset->time = 100000;
  reset->resetLen = 20000;
  reset->idle = 2999 * 12;  // just short of a suspend
  capture.appendRoot(reset);

  const Ttimeline& timeline = capture.timeline();
  ASSERT_EQ(timeline.frameCount(), 9u);
  const TtimelineSpan f1 = timeline.bucket(0, 1);
  EXPECT_EQ(f1.sofBits, 35u);
  EXPECT_EQ(f1.dataBits, 35u + 35 + 80);
  EXPECT_EQ(f1.handshakeBits, 19u);
  EXPECT_EQ(f1.errors, 2u);
  EXPECT_EQ(f1.marks, 0);
  EXPECT_EQ(timeline.bucket(0, 2).marks, timelineSuspend);
  EXPECT_EQ(timeline.bucket(0, 8).marks, timelineReset);
  EXPECT_EQ(timeline.bucket(0, 8).bits(), 0u);
  EXPECT_EQ(timeline.span(0, 9).errors, 2u);
  EXPECT_EQ(timeline.span(0, 9).marks, timelineReset | timelineSuspend);
  EXPECT_GT(timeline.bytes(), 0u);
  // A time far past what the capture holds is not followed with empty frames.
  capture.appendRoot(at<Thandshake>(uint64_t{1} << 40, pidAck));
  EXPECT_EQ(timeline.frameCount(), 9u);
}
