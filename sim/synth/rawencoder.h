// Encodes line-state runs into the capture device's compressed stream: the
// 8-byte magic, optional filler bytes, then data bytes (six K/J samples or three
// samples of any state, the latest lasting count + 1 ticks), SE0 run markers and
// count bytes.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "synth/linestate.h"

namespace synth {

struct TrawOptions {
  // Pick among equivalent encodings pseudo-randomly from this seed, so tests see
  // every byte kind and count shape; otherwise a compact, fixed encoding.
  bool varied = false;
  uint64_t seed = 1;
  unsigned fillerBytes = 0;  // bytes 0x80..0xFF between the magic and the items
};

// Encodes successive run lists into successive byte blocks. A run may go on in
// the next list, so the tail of each list is held back until more runs or
// finish() settle it. Runs are never cut where a decoder would see the cut: SE0
// and SE1 runs, and the run after an SE0 (packet idle, reset follow-up), always
// arrive as one run; only K and J runs inside a packet may be spread over
// several items. A final run shorter than 3 ticks may be lengthened by up to 2
// ticks, because every data byte spans at least 3 ticks.
class TrawEncoder {
 public:
  explicit TrawEncoder(const TrawOptions& options = {});

  // Appends to out the bytes that the runs settle (the header comes first).
  void encode(const TlineRuns& runs, std::vector<uint8_t>& out);
  // Appends the rest; the encoder then starts a new stream.
  void finish(std::vector<uint8_t>& out);

 private:
  struct Tpending {
    uint8_t state;
    uint64_t left;  // runs merged across lists can outgrow 32 bits
    bool splittable;
  };
  enum class Tmode { outside, inPacket, consumeNext };

  void push(uint8_t state, uint32_t ticks);
  void header(std::vector<uint8_t>& out);
  bool emitItem(bool finishing, std::vector<uint8_t>& out);
  void emitMarker(std::vector<uint8_t>& out);
  void emitData(int samples, bool finishing, std::vector<uint8_t>& out);
  void appendCount(uint32_t count, std::vector<uint8_t>& out);
  uint64_t pendingTicks(bool includeLast) const;
  uint64_t pick(uint64_t n) { return rng_() % n; }

  TrawOptions options_;
  std::mt19937_64 rng_;
  std::vector<Tpending> pend_;
  size_t head_ = 0;
  Tmode mode_ = Tmode::outside;
  bool headerDone_ = false;
  bool anyItem_ = false;
};

// The whole stream of one run list.
std::vector<uint8_t> encodeRaw(const TlineRuns& runs, const TrawOptions& options = {});

// Count bytes for a count value, compact form (empty for 0).
void appendCompactCount(uint32_t count, std::vector<uint8_t>& out);

}  // namespace synth
