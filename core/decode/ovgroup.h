// Transactions and control transfers, the grouping objects of the tree, with
// the lookups the display needs.
#pragma once

#include <cstddef>

#include "decode/ovbase.h"

class Ttransax : public Tgrouper {
 public:
  explicit Ttransax(TtrxType type = TtrxType::Undefined) : Tgrouper(otTransax), trxType(type) {}

  TtrxType trxType;

  // Each returns the first child of that class, or an empty pointer.
  std::shared_ptr<Ttoken> findTokenPkt() const;
  std::shared_ptr<Tdata> findDataPkt() const;
  std::shared_ptr<Thandshake> findHandshakePkt() const;
  // A handshake child exists and it is an ACK.
  bool ackOK() const;
};

// What the transactions of a control transfer say about its stages.
struct TcontrolStages {
  bool known = false;         // a SETUP packet of 8 bytes gives the data direction
  std::vector<uint8_t> data;  // the acknowledged data-stage payloads, joined
  bool complete = false;      // an acknowledged zero-length status stage was seen
};

class Ttransfer : public Tgrouper {
 public:
  Ttransfer() : Tgrouper(otTransfer) {}

  L1groupType groupType = L1groupType::Control;
  std::vector<uint8_t> data;  // joined data stage, filled by findData
  bool complete = false;      // a zero-length status stage was seen

  // From child `index` on, the first transaction of `type`; `index` is left on
  // it, or at the end with an empty result.
  std::shared_ptr<Ttransax> findTransax(TtrxType type, std::size_t& index) const;
  std::shared_ptr<Ttransax> findSetupTransax() const;
  // The one rule for a transfer's stages; reads only, so drawing and scripts
  // can ask without changing the model.
  TcontrolStages readStages() const;
  // The joined data stage, computed on first use and cached in data and
  // complete.
  std::vector<uint8_t>& findData();
};
