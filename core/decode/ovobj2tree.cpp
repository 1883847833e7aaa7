#include "decode/ovobj2tree.h"

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <map>

#include "decode/ovarena.h"
#include "decode/ovvisit.h"

namespace {

// An endpoint with an open control transfer.
struct TportInfo {
  std::shared_ptr<Ttransfer> transfer;
  std::size_t root = 0;  // its index in the roots
  char dir = '?';        // data stage: '?' not seen yet, 'i' IN, 'o' OUT
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
  return visit(obj, Toverload{[](const TpacketBase& packet) { return static_cast<int>(packet.pid & 15); },
                              [](const Tbase&) { return -1; }});
}

void setLevels(Tbase& obj, int level) {
  obj.level = level;
  visit(obj, Toverload{[level](Tgrouper& group) {
                         for (const TobjPtr& child : group.children) setLevels(*child, level + 1);
                       },
                       [](Tbase&) {}});
}

}  // namespace

const std::vector<Tobj2tree::TpidSet> Tobj2tree::inTargets = {
    pids({pidIn}), pids({pidData0, pidData1, pidData2, pidMdata, pidStall, pidNak}), pids({pidAck})};
const std::vector<Tobj2tree::TpidSet> Tobj2tree::outTargets = {
    pids({pidOut}), pids({pidData0, pidData1, pidData2, pidMdata}), pids({pidAck, pidNak, pidStall})};

class Tobj2tree::Timpl {
 public:
  explicit Timpl(TobjVec& roots) : roots(roots) {}
  std::size_t take(const TobjVec& objs, bool final);
  std::size_t firstOpenRoot() const;
  void forget(std::size_t rootsBefore, std::size_t objectsBefore);
  std::size_t objectsTaken() const { return i; }
  std::vector<std::size_t> openRoots() const;
  std::vector<std::size_t> grownRoots() const;

 private:
  // First pass: gathers the next top-level item starting at object i; false
  // when it must wait for more objects.
  bool takeSofs(const TobjVec& objs, bool final);
  bool takeTransax(const TobjVec& objs, bool final, TtrxType type, const std::vector<TpidSet>& targets);
  // Second pass, run on each top-level item as soon as it is complete: items
  // only depend on the ones before them, so no working list is kept.
  void addItem(TobjPtr item);
  void addTransax(std::shared_ptr<Ttransax> trx);
  void changed(std::size_t root) {
    firstChanged = std::min(firstChanged, root);
    if (root < rootsBefore) grown.push_back(root);
  }
  // Root and object indices count from the start of the capture; the vectors
  // hold them from rootBase and objBase on.
  std::size_t rootEnd() const { return rootBase + roots.size(); }
  std::size_t objEnd(const TobjVec& objs) const { return objBase + objs.size(); }
  const TobjPtr& objAt(const TobjVec& objs, std::size_t at) const { return objs[at - objBase]; }

  TobjVec& roots;
  std::size_t rootBase = 0;
  std::size_t objBase = 0;
  std::size_t i = 0;
  std::map<int, TportInfo> ports;
  // The SOF group at the end of the roots, while SOFs may still join it.
  std::shared_ptr<TsofGroup> openSofs;
  std::size_t firstChanged = 0;
  // The roots there were before the last take, and those of them it gave children.
  std::size_t rootsBefore = 0;
  std::vector<std::size_t> grown;
};

std::size_t Tobj2tree::Timpl::take(const TobjVec& objs, bool final) {
  firstChanged = rootEnd();
  rootsBefore = rootEnd();
  grown.clear();
  while (i < objEnd(objs)) {
    const Tbase& obj = *objAt(objs, i);
    bool took = true;
    if (obj.objType == otSof) {
      took = takeSofs(objs, final);
    } else if (obj.objType == otToken && pidOf(obj) == pidIn) {
      took = takeTransax(objs, final, TtrxType::IN, inTargets);
    } else if (obj.objType == otToken && pidOf(obj) == pidOut) {
      took = takeTransax(objs, final, TtrxType::OUT, outTargets);
    } else if (obj.objType == otToken && pidOf(obj) == pidSetup) {
      took = takeTransax(objs, final, TtrxType::SETUP, setupTargets);
    } else {
      addItem(objAt(objs, i++));
    }
    if (!took) break;
  }
  return firstChanged;
}

bool Tobj2tree::Timpl::takeSofs(const TobjVec& objs, bool final) {
  std::size_t end = i + 1;
  while (end < objEnd(objs) && objAt(objs, end)->objType == otSof) ++end;
  if (openSofs) {
    changed(rootEnd() - 1);
  } else if (end == i + 1) {
    // A lone SOF is a root of its own once something else follows it.
    if (end == objEnd(objs) && !final) return false;
    addItem(objAt(objs, i++));
    return true;
  } else {
    openSofs = arena::make<TsofGroup>();
    openSofs->children.reserve(end - i);
    addItem(openSofs);
  }
  for (; i < end; ++i) {
    objAt(objs, i)->level = 1;
    openSofs->children.push_back(objAt(objs, i));
  }
  // More SOFs may follow while the objects end with these.
  if (end < objEnd(objs) || final) openSofs.reset();
  return true;
}

bool Tobj2tree::Timpl::takeTransax(const TobjVec& objs, bool final, TtrxType type,
                                   const std::vector<TpidSet>& targets) {
  // The packets that fit are counted first, so the children are sized exactly.
  std::size_t taken = 0;
  bool cutOff = false;
  for (const TpidSet& step : targets) {
    cutOff = i + taken == objEnd(objs);
    if (cutOff) break;
    const int pid = pidOf(*objAt(objs, i + taken));
    if (pid < 0 || !step.test(static_cast<std::size_t>(pid))) break;
    ++taken;
    // A handshake ends the transaction, so that one ending the objects so far
    // is whole: IN, NAK, ACK is a NAKed IN and a stray ACK.
    if (objAt(objs, i + taken - 1)->objType == otHandshake) break;
  }
  if (cutOff && !final) return false;
  const std::size_t first = i;
  for (; i < first + taken; ++i) objAt(objs, i)->level = 1;
  // The capture ended inside the transaction: it goes with its packets.
  if (cutOff) return true;
  auto trx = arena::make<Ttransax>(type);
  const auto window = objs.begin() - static_cast<std::ptrdiff_t>(objBase);
  trx->children.assign(window + static_cast<std::ptrdiff_t>(first), window + static_cast<std::ptrdiff_t>(i));
  addTransax(std::move(trx));
  return true;
}

void Tobj2tree::Timpl::addItem(TobjPtr item) {
  // A bus reset ends every open control transfer.
  if (item->objType == otReset) ports.clear();
  if (item != openSofs) openSofs.reset();
  changed(rootEnd());
  roots.push_back(std::move(item));
}

void Tobj2tree::Timpl::addTransax(std::shared_ptr<Ttransax> trx) {
  const auto token = trx->findTokenPkt();
  const int key = portKey(token->addr, token->endp);
  if (trx->trxType == TtrxType::SETUP) {
    auto transfer = arena::make<Ttransfer>();
    setLevels(*trx, 1);
    transfer->children.push_back(std::move(trx));
    TportInfo& port = ports[key];
    port = TportInfo{transfer, rootEnd()};  // dir '?' again
    addItem(std::move(transfer));
    return;
  }
  const auto port = ports.find(key);
  if (port == ports.end()) {
    addItem(std::move(trx));
    return;
  }
  openSofs.reset();
  const bool in = trx->trxType == TtrxType::IN;
  TportInfo& info = port->second;
  if (info.dir == '?') info.dir = in ? 'i' : 'o';
  const auto data = trx->findDataPkt();
  // A zero-length packet against the data direction is the status stage. A
  // STALL ends the transfer too: the endpoint takes nothing but a new SETUP.
  const bool status = data && data->data.empty() && info.dir == (in ? 'o' : 'i');
  const auto handshake = trx->findHandshakePkt();
  const bool stalled = handshake && (handshake->pid & 15) == pidStall;
  setLevels(*trx, 1);
  info.transfer->children.push_back(std::move(trx));
  changed(info.root);
  if (status || stalled) ports.erase(port);
}

Tobj2tree::Tobj2tree(const TobjVec& objs, TobjVec& roots) : impl(std::make_unique<Timpl>(roots)) {
  impl->take(objs, true);
}
Tobj2tree::Tobj2tree(TobjVec& roots) : impl(std::make_unique<Timpl>(roots)) {}
Tobj2tree::~Tobj2tree() = default;

std::size_t Tobj2tree::take(const TobjVec& objs, bool final) { return impl->take(objs, final); }
std::size_t Tobj2tree::firstOpenRoot() const { return impl->firstOpenRoot(); }
void Tobj2tree::forget(std::size_t rootsBefore, std::size_t objectsBefore) {
  impl->forget(rootsBefore, objectsBefore);
}
std::size_t Tobj2tree::objectsTaken() const { return impl->objectsTaken(); }
std::vector<std::size_t> Tobj2tree::openRoots() const { return impl->openRoots(); }
std::vector<std::size_t> Tobj2tree::grownRoots() const { return impl->grownRoots(); }

std::vector<std::size_t> Tobj2tree::Timpl::openRoots() const {
  std::vector<std::size_t> open;
  for (const auto& [key, port] : ports) open.push_back(port.root);
  if (openSofs) open.push_back(rootEnd() - 1);
  std::sort(open.begin(), open.end());
  open.erase(std::unique(open.begin(), open.end()), open.end());
  return open;
}

std::vector<std::size_t> Tobj2tree::Timpl::grownRoots() const {
  std::vector<std::size_t> roots = grown;
  std::sort(roots.begin(), roots.end());
  roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
  return roots;
}

std::size_t Tobj2tree::Timpl::firstOpenRoot() const {
  std::size_t first = openSofs ? rootEnd() - 1 : rootEnd();
  for (const auto& [key, port] : ports) first = std::min(first, port.root);
  return first;
}

void Tobj2tree::Timpl::forget(std::size_t rootsBefore, std::size_t objectsBefore) {
  roots.erase(roots.begin(), roots.begin() + static_cast<std::ptrdiff_t>(rootsBefore - rootBase));
  rootBase = rootsBefore;
  objBase = objectsBefore;
}
