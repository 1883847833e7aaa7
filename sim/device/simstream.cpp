#include "device/simstream.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

#include "decode/ovraw.h"
#include "device/simtarget.h"
#include "synth/rawencoder.h"

namespace {

constexpr uint64_t ticksPerMs = 12000;
constexpr size_t magicBytes = 8;

}  // namespace

// Everything after the head: the encoded target link, a replayed capture or garbage.
class TsimStream::Tsource {
 public:
  Tsource(const TsimConfig& config, std::vector<uint8_t> replay)
      : config(config), replay(std::move(replay)), rng(0x5EED) {
    if (!this->replay.empty()) timeReplay();
  }

  uint64_t time() const { return tick; }

  void produce(uint64_t untilTick, bool connected, std::vector<uint8_t>& out) {
    const size_t before = out.size();
    if (config.has(TsimFault::garbageStream)) {
      // About one byte per 64 bit times, so pacing still holds.
      for (; tick < untilTick; tick += 64) out.push_back(uint8_t(rng()));
    } else if (!replay.empty()) {
      produceReplay(untilTick, out);
    } else {
      produceLink(untilTick, connected, out);
    }
    if (config.has(TsimFault::wrongMagic) && !magicSpoiled && out.size() >= before + magicBytes) {
      out[before + magicBytes - 1] ^= 0x20;
      magicSpoiled = true;
    }
  }

 private:
  void produceLink(uint64_t untilTick, bool connected, std::vector<uint8_t>& out) {
    while (tick < untilTick) {
      if (connected != segmentConnected) {
        endSegment(out);
        segmentConnected = connected;
      }
      if (!connected) {
        // A detached target is one long SE0; the FPGA sends it as run markers of a fixed length.
        for (; tick < untilTick; tick += se0MarkerTicks) out.insert(out.end(), {0xE0, 0x80, 0xC0, 0xC3});
        return;
      }
      if (!target) target = std::make_unique<TsimTarget>(frameAt(tick), ++seed);
      target->traffic(untilTick - segmentStart);
      encoded.clear();
      encoder->encode(target->takeRuns(), encoded);
      append(out);
      tick = segmentStart + target->time();
    }
  }

  // Where the capture's bus time passes each millisecond, so a replay keeps the capture's pace.
  void timeReplay() {
    Traw raw;
    uint64_t end = 0;
    if (raw.addRawData(replay)) {
      TrawItem item;
      while (raw.getItem(item)) {
        if (replayTimes.empty() || item.end >= replayTimes.back().tick + ticksPerMs)
          replayTimes.push_back({raw.getPosition(), item.end});
        end = item.end;
      }
    }
    // Bytes the reader cannot time (a broken header, a cut item) go out with the last ones.
    replayTimes.push_back({replay.size(), end});
  }

  void produceReplay(uint64_t untilTick, std::vector<uint8_t>& out) {
    if (replaySent < replay.size()) {
      size_t upTo = replaySent;
      for (; nextTime < replayTimes.size() && replayTimes[nextTime].tick <= untilTick; ++nextTime)
        upTo = std::max(upTo, replayTimes[nextTime].position);
      out.insert(out.end(), replay.begin() + long(replaySent), replay.begin() + long(upTo));
      replaySent = upTo;
      tick = std::max(tick, untilTick);
      if (replaySent < replay.size()) return;
      // After the capture the bus idles with SOFs, encoded without a second header.
      encoder = std::make_unique<synth::TrawEncoder>();
      stripHeader = true;
      segmentStart = tick;
    }
    idleBus.idleUntil(untilTick - segmentStart);
    encoded.clear();
    encoder->encode(idleBus.takeRuns(), encoded);
    append(out);
    tick = untilTick;
  }

  // The host's frame number at a tick: frames go on while the target is detached.
  unsigned frameAt(uint64_t at) const {
    return (lastFrame + unsigned((at - lastFrameTick) / synth::ticksPerFrame)) & 0x7FF;
  }

  // Settles the connected stretch so that SE0 markers may follow; the next one starts afresh.
  void endSegment(std::vector<uint8_t>& out) {
    if (target) {
      encoded.clear();
      encoder->encode(target->takeRuns(), encoded);
      encoder->finish(encoded);
      append(out);
      encoder = std::make_unique<synth::TrawEncoder>();
      stripHeader = true;
      lastFrame = target->frame();
      lastFrameTick = tick;
      target.reset();
    }
    segmentStart = tick;
  }

  void append(std::vector<uint8_t>& out) {
    size_t from = 0;
    if (stripHeader && encoded.size() >= magicBytes) {
      from = magicBytes;
      stripHeader = false;
    }
    out.insert(out.end(), encoded.begin() + long(std::min(from, encoded.size())), encoded.end());
  }

  static constexpr uint64_t se0MarkerTicks = 12288;

  const TsimConfig& config;
  const std::vector<uint8_t> replay;
  std::mt19937 rng;
  synth::TbusWriter idleBus;
  std::unique_ptr<TsimTarget> target;
  std::unique_ptr<synth::TrawEncoder> encoder =
      std::make_unique<synth::TrawEncoder>(synth::TrawOptions{false, 1, 16});
  uint64_t seed = 0;
  unsigned lastFrame = 0;
  uint64_t lastFrameTick = 0;
  std::vector<uint8_t> encoded;
  uint64_t tick = 0;
  uint64_t segmentStart = 0;
  bool segmentConnected = true;
  struct Tcheckpoint {
    size_t position;
    uint64_t tick;
  };
  std::vector<Tcheckpoint> replayTimes;
  size_t nextTime = 0;
  size_t replaySent = 0;
  bool stripHeader = false;
  bool magicSpoiled = false;
};

TsimStream::TsimStream(const TsimConfig& config) : config(config) {
  // Read once, when the box is made: later starts replay the same capture.
  if (!config.replayFile.empty()) {
    std::ifstream file(config.replayFile, std::ios::binary);
    replay.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
}

TsimStream::~TsimStream() = default;

void TsimStream::start(Clock::time_point now) {
  if (fifoStale) {
    for (size_t i = 0; i < staleBytes; ++i) fifo.push_back(uint8_t(0x5A ^ i));
  }
  if (encoderReset || !source) {
    source = std::make_unique<Tsource>(config, replay);
    // Never a valid header.
    for (size_t i = 0; i < headBytes; ++i) fifo.push_back(uint8_t(0xA5 ^ i));
    started = now;
    encoderReset = false;
  }
  // Whatever happens now, the FIFO fills up once the host stops reading.
  fifoStale = true;
  streaming = true;
  if (!held) connected = true;
  if (config.has(TsimFault::streamStall)) stalledUntil = now + std::chrono::milliseconds(config.stallMs);
}

void TsimStream::stop() { streaming = false; }

void TsimStream::resetEncoder() {
  stop();
  encoderReset = true;
}

void TsimStream::clearFifo() {
  fifo.clear();
  fifoRead = 0;
  fifoStale = false;
}

void TsimStream::powerUp() {
  resetEncoder();
  fifo.clear();
  fifoRead = 0;
  fifoStale = true;
  held = false;
  connected = false;
}

void TsimStream::holdTarget(bool on) {
  held = true;
  connected = on;
}

void TsimStream::produceUntil(uint64_t tick) {
  if (fifoRead > 0 && fifoRead == fifo.size()) {
    fifo.clear();
    fifoRead = 0;
  }
  source->produce(tick, connected, fifo);
}

void TsimStream::read(std::vector<uint8_t>& out, size_t max, Clock::time_point now) {
  if (!streaming || now < stalledUntil || max == 0) return;
  if (config.pace == TsimPace::realtime) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - started).count();
    produceUntil(uint64_t(elapsed) * ticksPerMs / 1000);
  } else {
    // A second of bus time at most per read, so a source that holds everything back cannot hang us.
    for (int ms = 0; ms < 1000 && fifo.size() - fifoRead < max; ++ms)
      produceUntil(source->time() + ticksPerMs);
  }
  const size_t n = std::min(max, fifo.size() - fifoRead);
  out.insert(out.end(), fifo.begin() + long(fifoRead), fifo.begin() + long(fifoRead + n));
  fifoRead += n;
  delivered += n;
}
