#include "decode/ovstream.h"

#include "decode/ovgroup.h"
#include "decode/ovvisit.h"

namespace {

// A data packet repeats the previous one when it has its toggle and its bytes:
// the receiver took the first copy and only the handshake was lost.
class TstreamReader {
 public:
  TstreamReader(unsigned address, unsigned endpoint, uint64_t runGap)
      : address(address), number(endpoint & 15), in((endpoint & 0x80) != 0), runGap(runGap) {}

  void read(const Tbase& obj) {
    visit(obj, Toverload{[&](const Treset&) { forgetToggle(); },
                         [&](const Ttransfer& transfer) {
                           for (const TobjPtr& child : transfer.children) read(*child);
                         },
                         [&](const Ttransax& trx) { transaction(trx); }, [](const Tbase&) {}});
  }

  TendpointStream stream;

 private:
  void forgetToggle() { last = nullptr; }

  void transaction(const Ttransax& trx) {
    const auto token = trx.findTokenPkt();
    if (!token || token->addr != address) return;
    if (trx.trxType == TtrxType::SETUP) {
      setup(trx, token->endp);
      return;
    }
    if (token->endp != number || (trx.trxType == TtrxType::IN) != in) return;
    const auto data = trx.findDataPkt();
    if (!data) return;
    if (!trx.ackOK()) {
      ++stream.unacknowledged;
      return;
    }
    if (last && last->pid == data->pid && last->data == data->data) {
      ++stream.retries;
      return;
    }
    last = data;
    ++stream.packets;
    if (data->data.empty()) return;
    if (stream.runs.empty() || data->time > lastTime + runGap) stream.runs.push_back({data->time, {}});
    std::vector<uint8_t>& run = stream.runs.back().bytes;
    run.insert(run.end(), data->data.begin(), data->data.end());
    lastTime = data->time;
  }

  // Requests that set the endpoint's toggle back to DATA0 (USB 2.0 sections
  // 9.4.5, 9.4.7 and 9.4.10); a SETUP on endpoint 0 itself starts it afresh.
  void setup(const Ttransax& trx, unsigned endp) {
    const auto data = trx.findDataPkt();
    if (!data || data->data.size() != 8) return;
    if (endp == number && number == 0) {
      forgetToggle();
      return;
    }
    const std::vector<uint8_t>& s = data->data;
    const unsigned request = s[0] << 8 | s[1];
    const bool haltCleared =
        request == 0x0201 && s[2] == 0 && s[3] == 0 && (s[4] & 0x8F) == (number | (in ? 0x80 : 0));
    if (request == 0x0009 || request == 0x010B || haltCleared) forgetToggle();
  }

  const unsigned address, number;
  const bool in;
  const uint64_t runGap;
  std::shared_ptr<Tdata> last;
  uint64_t lastTime = 0;
};

}  // namespace

TendpointStream endpointStream(const Tcapture& capture, unsigned address, unsigned endpoint,
                               uint64_t runGap) {
  TstreamReader reader(address, endpoint, runGap);
  TrowScan scan = capture.rowScan();
  for (std::size_t ix = 0; ix < capture.rootCount(); ++ix) reader.read(*scan.row(capture.rootRow(ix)));
  return std::move(reader.stream);
}
