#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include "allocfail.h"
#include "capture.h"
#include "decode/ovarena.h"
#include "decode/ovexthrd.h"
#include "files/ovdataio.h"

using namespace synth;

namespace {

// Back-to-back bulk traffic with SOFs, a few hundred kilobytes of raw stream.
std::vector<uint8_t> bulkCapture(unsigned frames, uint64_t seed) {
  TbusWriter bus;
  TusbHost host(bus, seed, testcap::steadyTiming());
  Tbytes payload(64);
  for (size_t k = 0; k < payload.size(); ++k) payload[k] = static_cast<uint8_t>(k * seed);
  while (bus.time() < frames * ticksPerFrame) {
    host.bulkIn(2, 1, 64, payload, 1);
    host.bulkOut(2, 2, 64, payload);
  }
  return testcap::rawOf(bus, seed);
}

std::vector<uint8_t> shortCapture() {
  TbusWriter bus;
  TusbHost host(bus, 3, testcap::steadyTiming());
  bus.reset(20000);
  host.controlRead(0, 8, getDescriptor(dtDevice, 0, 0, 18), hidMouseBlobs().device);
  return testcap::rawOf(bus, 3);
}

// Events, objects, trees and rows.
using Tsizes = std::array<size_t, 4>;

Tsizes sizes(const TexThread& ex) {
  const Tcapture& c = *ex.capture;
  return {c.eventCount(), c.busObjectCount(), c.rootCount(), c.rowCount()};
}

}  // namespace

TEST(ExThread, EmptyBufferFailureAndBadHeader) {
  TexThread ex;
  const std::vector<uint8_t> good = shortCapture();
  ASSERT_TRUE(ex.startDecode(&good));
  const Tsizes before = sizes(ex);
  ASSERT_GT(before[3], 0u);
  const TobjPtr firstRow = ex.capture->row(0).obj;

  // Nothing to decode: the last results stay.
  const std::vector<uint8_t> empty;
  EXPECT_FALSE(ex.startDecode(&empty));
  EXPECT_FALSE(ex.done.load());
  EXPECT_EQ(ex.progress.load(), 0u);
  EXPECT_TRUE(sizes(ex) == before);
  EXPECT_EQ(ex.capture->row(0).obj, firstRow);
  EXPECT_FALSE(ex.startDecode(nullptr));

  // A decode that runs out of memory ends the decode, not the process.
  // The decode thread runs out at its first allocation.
  failAllocations(allocFailOtherThreads, 0);
  const bool decoded = ex.startDecode(&good);
  failAllocations(allocFailNone, 0);
  EXPECT_FALSE(decoded);
  EXPECT_FALSE(ex.done.load());
  EXPECT_EQ(ex.failureText(), "out of memory");
  EXPECT_TRUE(sizes(ex) == before);
  EXPECT_EQ(ex.capture->row(0).obj, firstRow);
  ASSERT_TRUE(ex.startDecode(&good));
  EXPECT_EQ(ex.failure, nullptr);

  // A wrong magic, or a magic followed only by filler: a finished decode of nothing.
  std::vector<uint8_t> badMagic = good;
  badMagic[6] = 'Y';
  std::vector<uint8_t> fillerOnly(good.begin(), good.begin() + 11);
  fillerOnly[8] = 0x80;
  fillerOnly[9] = 0xFF;
  fillerOnly[10] = 0xC1;
  for (const auto* raw : {&badMagic, &fillerOnly}) {
    ASSERT_TRUE(ex.startDecode(&good));
    EXPECT_TRUE(ex.startDecode(raw));
    EXPECT_TRUE(ex.done.load());
    EXPECT_EQ(ex.progress.load(), 0u);
    EXPECT_TRUE(sizes(ex) == (Tsizes{0, 0, 0, 0}));
  }
}

// A watcher on another thread sees progress only grow, and once it sees done
// every result is already complete.
TEST(ExThread, ProgressAndDoneSeenFromAnotherThread) {
  const std::vector<uint8_t> raw = bulkCapture(40, 5);
  TexThread ex;
  std::atomic<bool> started{false};
  bool monotonic = true;
  uint64_t lastSeen = 0;
  Tsizes atDone{};
  std::thread watcher([&] {
    started = true;
    while (!ex.done.load()) {
      const uint64_t p = ex.progress.load();
      monotonic &= p >= lastSeen && p <= raw.size();
      lastSeen = p;
    }
    atDone = sizes(ex);
  });
  while (!started) std::this_thread::yield();
  ASSERT_TRUE(ex.startDecode(&raw));
  watcher.join();

  EXPECT_TRUE(monotonic);
  EXPECT_EQ(ex.progress.load(), raw.size());
  EXPECT_TRUE(atDone == sizes(ex));
  EXPECT_GT(ex.capture->rowCount(), ex.capture->busObjectCount());
  EXPECT_EQ(ex.capture->busObjectCount(), ex.capture->eventCount());
  EXPECT_EQ(ex.skippedEvents, 0u);
}

TEST(ExThread, SecondDecodeReplacesEveryResult) {
  auto capture = std::make_shared<Tcapture>();
  // This thread makes objects too (a sample file's save does), and keeps the
  // chunk it fills for as long as it runs.
  arena::make<Treset>();
  const size_t arenaBefore = arena::bytesHeld();
  auto decoder = std::make_unique<TexThread>(capture);
  TexThread& ex = *decoder;

  const std::vector<uint8_t> first = bulkCapture(3, 9);
  const std::vector<uint8_t> second = shortCapture();
  ASSERT_TRUE(ex.startDecode(&first));
  EXPECT_EQ(ex.capture, capture);  // the owner's capture is the one filled
  std::vector<TlinRow> held;
  for (size_t r = 0; r < capture->rowCount(); ++r) held.push_back(capture->row(r));
  std::vector<uint64_t> heldTimes;
  for (const auto& row : held) heldTimes.push_back(row.obj->time);

  ASSERT_TRUE(ex.startDecode(&second));
  TexThread fresh;
  ASSERT_TRUE(fresh.startDecode(&second));
  EXPECT_TRUE(sizes(ex) == sizes(fresh));
  std::string reused, anew;
  TdataIO::appendBody(*capture, reused);
  TdataIO::appendBody(*fresh.capture, anew);
  EXPECT_EQ(reused, anew);
  EXPECT_EQ(ex.progress.load(), second.size());

  for (size_t r = 0; r < capture->rowCount(); ++r) {
    const TobjPtr now = capture->row(r).obj;
    for (const auto& old : held) ASSERT_NE(now, old.obj);
  }

  // Rows of the first decode outlive the decoder and are still whole.
  decoder.reset();
  for (size_t r = 0; r < held.size(); ++r) {
    ASSERT_TRUE(held[r].obj);
    EXPECT_EQ(held[r].obj->time, heldTimes[r]);
    EXPECT_EQ(held[r].obj->row, static_cast<int>(r));
  }
  // The last holders gone, so is every object's storage.
  held.clear();
  capture->clear();
  fresh.capture->clear();
  EXPECT_EQ(arena::bytesHeld(), arenaBefore) << arenaBefore;

  // Storage kept for reuse serves one decoder at a time.
  arena::keepSpareBytes(size_t{64} << 20);
  TexThread(capture).startDecode(&first);
  capture->clear();
  TexThread again, other;
  ASSERT_TRUE(again.startDecode(&first));
  ASSERT_TRUE(other.startDecode(&second));
  ASSERT_EQ(again.capture->rowCount(), heldTimes.size());
  for (size_t r = 0; r < heldTimes.size(); ++r) EXPECT_EQ(again.capture->row(r).obj->time, heldTimes[r]) << r;
  arena::keepSpareBytes(0);
}
