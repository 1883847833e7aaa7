#include "decode/ovobj2tree.h"

#include <cstddef>
#include <initializer_list>
#include <map>

#include "decode/ovarena.h"

namespace {

// An endpoint with an open control transfer.
struct TportInfo {
  std::shared_ptr<Ttransfer> transfer;
  char dir = '?';  // data stage: '?' not seen yet, 'i' IN, 'o' OUT
};

// Unique for every (address, endpoint) pair.
int portKey(uint32_t addr, uint32_t endp) { return static_cast<int>((endp & 15) * 128 + (addr & 127)); }

Tobj2tree::TpidSet pids(std::initializer_list<int> list) {
  Tobj2tree::TpidSet set;
  for (int pid : list) set.set(pid);
  return set;
}

const std::vector<Tobj2tree::TpidSet> setupTargets = {pids({pidSetup}), pids({pidData0}), pids({pidAck})};

// The PID of a packet object, -1 for anything else so that it matches no step.
int pidOf(const Tbase& obj) {
  switch (obj.objType) {
    case otSof:
    case otToken:
    case otData:
    case otHandshake:
      return static_cast<int>(static_cast<const TpacketBase&>(obj).pid & 15);
    default:
      return -1;
  }
}

void setLevels(Tbase& obj, int level) {
  obj.level = level;
  if (obj.objType < otSofGroup) return;
  for (const TobjPtr& child : static_cast<Tgrouper&>(obj).children) setLevels(*child, level + 1);
}

}  // namespace

const std::vector<Tobj2tree::TpidSet> Tobj2tree::inTargets = {
    pids({pidIn}), pids({pidData0, pidData1, pidData2, pidMdata, pidStall, pidNak}), pids({pidAck})};
const std::vector<Tobj2tree::TpidSet> Tobj2tree::outTargets = {
    pids({pidOut}), pids({pidData0, pidData1, pidData2, pidMdata}), pids({pidAck, pidNak, pidStall})};

class Tobj2tree::Timpl {
 public:
  Timpl(const TobjVec& objs, TobjVec& roots);

 private:
  // First pass: gathers the next top-level item starting at object i.
  void takeSofs();
  void takeTransax(TtrxType type, const std::vector<TpidSet>& targets);
  // Second pass, run on each top-level item as soon as it is complete: items
  // only depend on the ones before them, so no working list is kept.
  void addItem(TobjPtr item);
  void addTransax(std::shared_ptr<Ttransax> trx);

  const TobjVec& objs;
  TobjVec& roots;
  std::size_t i = 0;
  std::map<int, TportInfo> ports;
};

Tobj2tree::Timpl::Timpl(const TobjVec& objs, TobjVec& roots) : objs(objs), roots(roots) {
  while (i < objs.size()) {
    const Tbase& obj = *objs[i];
    if (obj.objType == otSof) {
      takeSofs();
    } else if (obj.objType == otToken && pidOf(obj) == pidIn) {
      takeTransax(TtrxType::IN, inTargets);
    } else if (obj.objType == otToken && pidOf(obj) == pidOut) {
      takeTransax(TtrxType::OUT, outTargets);
    } else if (obj.objType == otToken && pidOf(obj) == pidSetup) {
      takeTransax(TtrxType::SETUP, setupTargets);
    } else {
      addItem(objs[i++]);
    }
  }
}

void Tobj2tree::Timpl::takeSofs() {
  std::size_t end = i + 1;
  while (end < objs.size() && objs[end]->objType == otSof) ++end;
  if (end == i + 1) {
    addItem(objs[i++]);
    return;
  }
  auto group = arena::make<TsofGroup>();
  group->children.reserve(end - i);
  for (; i < end; ++i) {
    objs[i]->level = 1;
    group->children.push_back(objs[i]);
  }
  addItem(std::move(group));
}

void Tobj2tree::Timpl::takeTransax(TtrxType type, const std::vector<TpidSet>& targets) {
  // The packets that fit are counted first, so the children are sized exactly.
  std::size_t taken = 0;
  bool cutOff = false;
  for (const TpidSet& step : targets) {
    cutOff = i + taken == objs.size();
    if (cutOff) break;
    const int pid = pidOf(*objs[i + taken]);
    if (pid < 0 || !step.test(static_cast<std::size_t>(pid))) break;
    ++taken;
  }
  const std::size_t first = i;
  for (; i < first + taken; ++i) objs[i]->level = 1;
  // The capture ended inside the transaction: it goes with its packets.
  if (cutOff) return;
  auto trx = arena::make<Ttransax>(type);
  trx->children.assign(objs.begin() + first, objs.begin() + i);
  addTransax(std::move(trx));
}

void Tobj2tree::Timpl::addItem(TobjPtr item) {
  // A bus reset ends every open control transfer.
  if (item->objType == otReset) ports.clear();
  roots.push_back(std::move(item));
}

void Tobj2tree::Timpl::addTransax(std::shared_ptr<Ttransax> trx) {
  const auto token = trx->findTokenPkt();
  const int key = portKey(token->addr, token->endp);
  if (trx->trxType == TtrxType::SETUP) {
    auto transfer = arena::make<Ttransfer>();
    setLevels(*trx, 1);
    transfer->children.push_back(std::move(trx));
    ports[key].transfer = transfer;  // a new entry starts with dir '?'
    roots.push_back(std::move(transfer));
    return;
  }
  const auto port = ports.find(key);
  if (port == ports.end()) {
    roots.push_back(std::move(trx));
    return;
  }
  const bool in = trx->trxType == TtrxType::IN;
  TportInfo& info = port->second;
  if (info.dir == '?') info.dir = in ? 'i' : 'o';
  const auto data = trx->findDataPkt();
  // A zero-length packet against the data direction is the status stage.
  const bool status = data && data->data.empty() && info.dir == (in ? 'o' : 'i');
  setLevels(*trx, 1);
  info.transfer->children.push_back(std::move(trx));
  if (status) ports.erase(port);
}

Tobj2tree::Tobj2tree(const TobjVec& objs, TobjVec& roots) : impl(std::make_unique<Timpl>(objs, roots)) {}
Tobj2tree::~Tobj2tree() = default;
