#include "synth/host.h"

#include <algorithm>

namespace synth {

namespace {

unsigned handshakePid(Treply reply) {
  return reply == Treply::ack ? pidAck : reply == Treply::nak ? pidNak : pidStall;
}

unsigned requestLength(const Tbytes& request) {
  return request.size() >= 8 ? request[6] | request[7] << 8 : 0;
}

}  // namespace

TusbHost::TusbHost(TbusWriter& bus, uint64_t seed, const ThostTiming& timing)
    : bus_(bus), rng_(seed), timing_(timing) {}

uint32_t TusbHost::draw(uint32_t min, uint32_t max) {
  return max <= min ? min : min + static_cast<uint32_t>(rng_() % (max - min + 1));
}

bool TusbHost::nakOnce() { return rng_() % 100 < timing_.nakPercent; }

void TusbHost::between() { bus_.idle(draw(timing_.betweenMin, timing_.betweenMax)); }

void TusbHost::reserveFor(size_t dataBytes) {
  const uint64_t gaps = timing_.betweenMax + timing_.hostGapMax + timing_.deviceGapMax + timing_.timeout;
  bus_.reserve(TbusWriter::packetTicks(3) + TbusWriter::packetTicks(dataBytes + 3) +
               TbusWriter::packetTicks(1) + gaps);
}

unsigned TusbHost::nextToggle(unsigned addr, unsigned endp, bool in) {
  bool& odd = toggles_[(addr & 0x7F) << 5 | (in ? 16 : 0) | (endp & 15)];
  const unsigned pid = odd ? pidData1 : pidData0;
  odd = !odd;
  return pid;
}

void TusbHost::handshake(Treply reply) {
  if (reply == Treply::none) {
    bus_.idle(timing_.timeout);
    return;
  }
  bus_.idle(draw(timing_.deviceGapMin, timing_.deviceGapMax));
  bus_.packet(handshakePacket(handshakePid(reply)));
}

void TusbHost::hostData(unsigned tokenPid, unsigned addr, unsigned endp, unsigned dataPid,
                        const Tbytes& payload, Treply reply) {
  reserveFor(payload.size());
  between();
  bus_.packet(tokenPacket(tokenPid, addr, endp));
  bus_.idle(draw(timing_.hostGapMin, timing_.hostGapMax));
  bus_.packet(dataPacket(dataPid, payload));
  handshake(reply);
}

void TusbHost::setup(unsigned addr, unsigned endp, const Tbytes& request, Treply reply) {
  hostData(pidSetup, addr, endp, pidData0, request, reply);
}

void TusbHost::out(unsigned addr, unsigned endp, unsigned dataPid, const Tbytes& payload, Treply reply) {
  hostData(pidOut, addr, endp, dataPid, payload, reply);
}

void TusbHost::in(unsigned addr, unsigned endp, unsigned dataPid, const Tbytes& payload, Treply reply) {
  reserveFor(reply == Treply::ack ? payload.size() : 0);
  between();
  bus_.packet(tokenPacket(pidIn, addr, endp));
  if (reply != Treply::ack) {
    handshake(reply);
    return;
  }
  bus_.idle(draw(timing_.deviceGapMin, timing_.deviceGapMax));
  bus_.packet(dataPacket(dataPid, payload));
  bus_.idle(draw(timing_.hostGapMin, timing_.hostGapMax));
  bus_.packet(handshakePacket(pidAck));
}

void TusbHost::controlRead(unsigned addr, unsigned maxPacket, const Tbytes& request, const Tbytes& data) {
  setup(addr, 0, request);
  const unsigned length = requestLength(request);
  const size_t total = std::min<size_t>(data.size(), length);
  bool odd = true;  // the data stage starts with DATA1
  size_t sent = 0;
  do {
    const size_t n = std::min<size_t>(maxPacket, total - sent);
    if (sent == 0 && nakOnce()) in(addr, 0, 0, {}, Treply::nak);
    in(addr, 0, odd ? pidData1 : pidData0, Tbytes(data.begin() + sent, data.begin() + sent + n));
    odd = !odd;
    sent += n;
    // A full last packet needs a zero-length one after it, unless wLength is reached.
    if (sent == total && n == maxPacket && total < length) {
      in(addr, 0, odd ? pidData1 : pidData0, {});
      odd = !odd;
    }
  } while (sent < total);
  out(addr, 0, pidData1, {});
}

void TusbHost::controlWrite(unsigned addr, unsigned maxPacket, const Tbytes& request, const Tbytes& data) {
  setup(addr, 0, request);
  bool odd = true;
  for (size_t sent = 0; sent < data.size();) {
    const size_t n = std::min<size_t>(maxPacket, data.size() - sent);
    out(addr, 0, odd ? pidData1 : pidData0, Tbytes(data.begin() + sent, data.begin() + sent + n));
    odd = !odd;
    sent += n;
  }
  if (nakOnce()) in(addr, 0, 0, {}, Treply::nak);
  in(addr, 0, pidData1, {});
}

void TusbHost::pollIn(unsigned addr, unsigned endp, const Tbytes* data) {
  if (!data) {
    in(addr, endp, 0, {}, Treply::nak);
    return;
  }
  in(addr, endp, nextToggle(addr, endp, true), *data);
}

void TusbHost::bulkIn(unsigned addr, unsigned endp, unsigned maxPacket, const Tbytes& data, unsigned naks) {
  for (unsigned i = 0; i < naks; ++i) in(addr, endp, 0, {}, Treply::nak);
  size_t sent = 0;
  do {
    const size_t n = std::min<size_t>(maxPacket, data.size() - sent);
    in(addr, endp, nextToggle(addr, endp, true), Tbytes(data.begin() + sent, data.begin() + sent + n));
    sent += n;
  } while (sent < data.size());
}

void TusbHost::bulkOut(unsigned addr, unsigned endp, unsigned maxPacket, const Tbytes& data) {
  size_t sent = 0;
  do {
    const size_t n = std::min<size_t>(maxPacket, data.size() - sent);
    out(addr, endp, nextToggle(addr, endp, false), Tbytes(data.begin() + sent, data.begin() + sent + n));
    sent += n;
  } while (sent < data.size());
}

}  // namespace synth
