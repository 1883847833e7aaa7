// The flat object vector to the tree the user browses: SOF groups,
// transactions, and control transfers gathering their transactions.
#pragma once

#include <bitset>
#include <memory>
#include <vector>

#include "decode/ovbase.h"
#include "decode/ovgroup.h"

class Tobj2tree {
 public:
  using TpidSet = std::bitset<16>;

  // PIDs accepted at each of the three steps of an IN or OUT transaction.
  static const std::vector<TpidSet> inTargets;
  static const std::vector<TpidSet> outTargets;

  // Appends the top-level objects of `objs` to `roots`; the caller empties
  // `roots` first.
  Tobj2tree(const TobjVec& objs, TobjVec& roots);
  // Builds `roots` while the objects arrive, through take().
  explicit Tobj2tree(TobjVec& roots);
  // Takes the objects of `objs` (the same list, grown) not taken before;
  // final: none follows. Whatever the objects come in, the roots end as a
  // single call with all of them makes them. An item that later objects
  // could change waits for them, but for SOF groups and control transfers,
  // which are added at once and grow. Returns the first root added or given
  // children by this call (roots.size() when none).
  size_t take(const TobjVec& objs, bool final);
  // The first root that later objects may still give children (a control
  // transfer before its status stage, a SOF group at the end), roots.size()
  // when none: the roots before it are final.
  size_t firstOpenRoot() const;
  // For a capture kept elsewhere as it becomes final: the roots before
  // rootsBefore (at most firstOpenRoot()) leave the roots vector, and the
  // objects passed from now on start with object objectsBefore (at most
  // objectsTaken()). Indices keep counting from the start of the capture.
  void forget(size_t rootsBefore, size_t objectsBefore);
  // The objects taken so far; later calls never look at those before it.
  size_t objectsTaken() const;
  // The roots that may still gain children, and those of the roots there
  // were before the last take that it gave children; ascending.
  std::vector<size_t> openRoots() const;
  std::vector<size_t> grownRoots() const;
  ~Tobj2tree();
  Tobj2tree(const Tobj2tree&) = delete;
  Tobj2tree& operator=(const Tobj2tree&) = delete;

 private:
  class Timpl;
  std::unique_ptr<Timpl> impl;
};
