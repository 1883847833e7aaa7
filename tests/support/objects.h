// Decoded objects made by hand, for tests that need a few of them.
#pragma once

#include <memory>
#include <vector>

#include "decode/ovgroup.h"

template <class T>
std::shared_ptr<T> packet(uint32_t pid) {
  auto p = std::make_shared<T>();
  p->pid = pid;
  return p;
}

inline std::shared_ptr<Ttoken> token(uint32_t pid, uint32_t addr, uint32_t endp) {
  auto t = packet<Ttoken>(pid);
  t->addr = addr;
  t->endp = endp;
  return t;
}

inline std::shared_ptr<Tdata> data(uint32_t pid, std::vector<uint8_t> bytes) {
  auto d = packet<Tdata>(pid);
  d->data = std::move(bytes);
  return d;
}

inline std::shared_ptr<Ttransax> transax(TtrxType type, TobjVec children) {
  auto t = std::make_shared<Ttransax>(type);
  t->children = std::move(children);
  return t;
}
