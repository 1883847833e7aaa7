#include "decode/ovgroup.h"

#include <utility>

#include "decode/ovvisit.h"

namespace {

template <class T>
std::shared_ptr<T> firstChild(const std::vector<TobjPtr>& children, uint32_t type) {
  for (const TobjPtr& child : children) {
    if (child->objType == type) return std::static_pointer_cast<T>(child);
  }
  return {};
}

constexpr std::size_t setupBytes = 8;
constexpr uint8_t requestTypeIn = 0x80;  // direction bit of bmRequestType

}  // namespace

std::shared_ptr<Ttoken> Ttransax::findTokenPkt() const { return firstChild<Ttoken>(children, otToken); }

std::shared_ptr<Tdata> Ttransax::findDataPkt() const { return firstChild<Tdata>(children, otData); }

std::shared_ptr<Thandshake> Ttransax::findHandshakePkt() const {
  return firstChild<Thandshake>(children, otHandshake);
}

bool Ttransax::ackOK() const {
  const auto handshake = findHandshakePkt();
  return handshake && handshake->pid == pidAck;
}

std::shared_ptr<Ttransax> Ttransfer::findTransax(TtrxType type, std::size_t& index) const {
  for (; index < children.size(); ++index) {
    const TobjPtr& child = children[index];
    if (child->objType != otTransax) continue;
    auto trx = std::static_pointer_cast<Ttransax>(child);
    if (trx->trxType == type) return trx;
  }
  return {};
}

std::shared_ptr<Ttransax> Ttransfer::findSetupTransax() const {
  std::size_t index = 0;
  return findTransax(TtrxType::SETUP, index);
}

TcontrolStages Ttransfer::readStages() const {
  TcontrolStages stages;
  const auto setup = findSetupTransax();
  const auto setupData = setup ? setup->findDataPkt() : nullptr;
  if (!setupData || setupData->data.size() != setupBytes) return stages;

  stages.known = true;
  const bool inData = setupData->data[0] & requestTypeIn;
  const TtrxType dataDir = inData ? TtrxType::IN : TtrxType::OUT;
  const TtrxType statusDir = inData ? TtrxType::OUT : TtrxType::IN;
  const auto stage = [&](const Ttransax& trx) {
    if (!trx.ackOK()) return;
    const auto packet = trx.findDataPkt();
    if (!packet) return;
    if (trx.trxType == dataDir) {
      stages.data.insert(stages.data.end(), packet->data.begin(), packet->data.end());
    } else if (trx.trxType == statusDir && packet->data.empty()) {
      stages.complete = true;
    }
  };
  for (const TobjPtr& child : children) visit(*child, Toverload{stage, [](const Tbase&) {}});
  return stages;
}

std::vector<uint8_t>& Ttransfer::findData() {
  if (!data.empty()) return data;
  TcontrolStages stages = readStages();
  if (!stages.known) return data;
  data = std::move(stages.data);
  complete = stages.complete;
  return data;
}
