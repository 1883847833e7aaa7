#include "decode/ovstats.h"

#include <algorithm>
#include <map>

#include "decode/ovcapture.h"
#include "decode/ovgroup.h"
#include "decode/ovvisit.h"

namespace {

constexpr uint64_t ticksPerMs = 1000 * ticksPerMicrosecond;
constexpr uint64_t bitsPerByte = 8;
// A time read from a sample file without one.
constexpr uint64_t noTime = ~uint64_t{0};

// SYNC and PID, then the fields and CRC of the packet's type.
uint64_t wireBytes(const Tbase& obj) {
  return visit(obj, Toverload{[](const Tdata& d) -> uint64_t { return 4 + d.data.size(); },
                              [](const Thandshake&) -> uint64_t { return 2; },
                              [](const TpacketBase&) -> uint64_t { return 4; },
                              [](const Tbase&) -> uint64_t { return 0; }});
}

// Wire bytes per millisecond of capture time. Rows come nearly in time order
// (a control transfer's rows hold its later transactions), so a run of
// packets in one millisecond is one entry; the entries are merged at the end.
class TmsLoad {
 public:
  void add(uint64_t time, uint64_t bytes) {
    const uint64_t ms = time / ticksPerMs;
    if (loads.empty() || loads.back().ms != ms) loads.push_back({ms, 0});
    loads.back().bytes += bytes;
  }
  uint64_t peak() {
    std::sort(loads.begin(), loads.end(), [](const Tload& a, const Tload& b) { return a.ms < b.ms; });
    uint64_t best = 0;
    for (std::size_t i = 0; i < loads.size();) {
      uint64_t sum = 0;
      const uint64_t ms = loads[i].ms;
      for (; i < loads.size() && loads[i].ms == ms; ++i) sum += loads[i].bytes;
      best = std::max(best, sum);
    }
    return best;
  }

 private:
  struct Tload {
    uint64_t ms;
    uint64_t bytes;
  };
  std::vector<Tload> loads;
};

struct Tcounted {
  TtrafficStats traffic;
  TmsLoad load;

  void addPacket(const Tbase& packet) {
    ++traffic.packets;
    for (std::size_t k = 0; k < std::size(errorFlags); ++k)
      traffic.errors[k] += (packet.flags & errorFlags[k].flag) != 0;
    const uint64_t wire = wireBytes(packet);
    traffic.wireBytes += wire;
    if (packet.time != noTime) load.add(packet.time, wire);
  }
  TtrafficStats finished() {
    traffic.peakMsWireBytes = load.peak();
    return traffic;
  }
};

struct TdeviceCounted {
  Tcounted all;
  std::map<uint32_t, Tcounted> endpoints;
};

}  // namespace

class TstatsCounter::Timpl {
 public:
  void put(const Tbase& obj, std::size_t children);
  TcaptureStats finished();

 private:
  // The transaction whose packets come next.
  struct Ttransaction {
    std::size_t packetsLeft = 0;
    Tcounted* device = nullptr;  // known from its token
    Tcounted* endpoint = nullptr;
    bool in = false;
    bool nak = false;
    uint32_t handshake = 0;  // the last one's PID, 0 for none
    uint64_t payload = 0;
  };

  void putPacket(const Tbase& packet);
  void putToken(const Ttoken& token);
  void endTransaction();
  // Each of the whole capture, the transaction's device and endpoint.
  template <class F>
  void forEachCounted(F f) {
    f(whole);
    if (trx.device) f(*trx.device);
    if (trx.endpoint) f(*trx.endpoint);
  }

  Tcounted whole;
  TcaptureStats stats;
  bool timed = false;
  std::map<TdeviceKey, TdeviceCounted> devices;
  Ttransaction trx;
  bool transferStarts = false;  // the next token is the first of a control transfer
};

void TstatsCounter::Timpl::put(const Tbase& obj, std::size_t children) {
  if (obj.objType == otTransfer) {
    ++whole.traffic.transfers;
    transferStarts = true;
  } else if (obj.objType == otTransax) {
    trx = Ttransaction{};
    trx.packetsLeft = children;
    if (children == 0) endTransaction();
  } else if (obj.objType <= otHandshake) {
    putPacket(obj);
  }
}

void TstatsCounter::Timpl::putPacket(const Tbase& packet) {
  if (packet.time != noTime) {
    stats.firstTime = timed ? std::min(stats.firstTime, packet.time) : packet.time;
    stats.lastTime = timed ? std::max(stats.lastTime, packet.time) : packet.time;
    timed = true;
  }
  if (packet.objType == otReset) {
    ++stats.resets;
    return;
  }
  stats.frames += packet.objType == otSof;
  if (trx.packetsLeft == 0) {
    whole.addPacket(packet);
    return;
  }
  visit(packet, Toverload{[&](const Ttoken& token) { putToken(token); },
                          [&](const Tdata& data) { trx.payload += data.data.size(); },
                          [&](const Thandshake& handshake) {
                            trx.handshake = handshake.pid & 15;
                            trx.nak |= trx.handshake == pidNak;
                          },
                          [](const Tbase&) {}});
  forEachCounted([&](Tcounted& c) { c.addPacket(packet); });
  if (--trx.packetsLeft == 0) endTransaction();
}

void TstatsCounter::Timpl::putToken(const Ttoken& token) {
  if (trx.device) return;  // a transaction has one token, its first packet
  TdeviceCounted& device = devices[TdeviceKey{token.addr, static_cast<uint32_t>(stats.resets)}];
  trx.device = &device.all;
  trx.endpoint = &device.endpoints[token.endp];
  trx.in = (token.pid & 15) == pidIn;
  if (!transferStarts) return;
  transferStarts = false;
  ++trx.device->traffic.transfers;
  ++trx.endpoint->traffic.transfers;
}

void TstatsCounter::Timpl::endTransaction() {
  const uint32_t outcome = trx.nak ? uint32_t{pidNak} : trx.handshake;
  const bool moved = outcome != pidNak && outcome != pidStall;
  forEachCounted([&](Tcounted& c) {
    TtrafficStats& t = c.traffic;
    if (outcome == pidAck)
      ++t.ack;
    else if (outcome == pidNak)
      ++t.nak;
    else if (outcome == pidStall)
      ++t.stall;
    else
      ++t.noAnswer;
    if (moved) (trx.in ? t.bytesIn : t.bytesOut) += trx.payload;
  });
  trx = Ttransaction{};
}

TcaptureStats TstatsCounter::Timpl::finished() {
  stats.traffic = whole.finished();
  for (auto& [key, counted] : devices) {
    TdeviceStats device;
    device.key = key;
    device.traffic = counted.all.finished();
    for (auto& [number, endpoint] : counted.endpoints)
      device.endpoints.push_back(TendpointStats{number, endpoint.finished()});
    stats.devices.push_back(std::move(device));
  }
  return std::move(stats);
}

uint64_t TtrafficStats::errorCount() const {
  uint64_t sum = 0;
  for (uint64_t n : errors) sum += n;
  return sum;
}

double TtrafficStats::meanUse(uint64_t spanTicks) const {
  // A tick is one bit time.
  return spanTicks ? static_cast<double>(wireBytes * bitsPerByte) / static_cast<double>(spanTicks) : 0.0;
}

double TtrafficStats::peakUse() const {
  return static_cast<double>(peakMsWireBytes * bitsPerByte) / static_cast<double>(ticksPerMs);
}

const TendpointStats* TdeviceStats::endpoint(uint32_t number) const {
  for (const TendpointStats& e : endpoints)
    if (e.endpoint == number) return &e;
  return nullptr;
}

const TdeviceStats* TcaptureStats::device(const TdeviceKey& key) const {
  const auto at = std::lower_bound(devices.begin(), devices.end(), key,
                                   [](const TdeviceStats& d, const TdeviceKey& k) { return d.key < k; });
  return at != devices.end() && at->key == key ? &*at : nullptr;
}

TstatsCounter::TstatsCounter() : impl(std::make_unique<Timpl>()) {}
TstatsCounter::~TstatsCounter() = default;

void TstatsCounter::countRoots(const Tcapture& capture, std::size_t to) {
  TrowScan scan = capture.rowScan();
  const auto put = [this](const Tbase& obj, std::size_t children) { impl->put(obj, children); };
  for (; counted < to; ++counted) scan.eachInSubtree(capture.rootRow(counted), put);
}

TcaptureStats TstatsCounter::finished() { return impl->finished(); }

TcaptureStats captureStats(const Tcapture& capture) {
  TstatsCounter counter;
  counter.countRoots(capture, capture.rootCount());
  return counter.finished();
}
