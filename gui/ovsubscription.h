// A subscription that ends with its owner, so nothing publishes into a
// destroyed window at shutdown.
#pragma once

#include <functional>

#include "ovglobs.h"

class Tsubscription {
 public:
  Tsubscription(int topic, std::function<void(long)> fn)
      : topic(topic), id(_G.pubSub.sub(topic, std::move(fn))) {}
  template <class T, class Tfn>
  Tsubscription(TtypedTopic<T> typed, Tfn fn) : topic(typed.id), id(_G.pubSub.sub(typed, std::move(fn))) {}
  ~Tsubscription() { _G.pubSub.unsub(topic, id); }
  Tsubscription(const Tsubscription&) = delete;
  Tsubscription& operator=(const Tsubscription&) = delete;

 private:
  int topic;
  int id;
};
