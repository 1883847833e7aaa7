#include "ovpubsub.h"

#include <algorithm>
#include <utility>

int TpubSub::sub(int topic, std::function<void(long)> fn) {
  const int id = static_cast<int>(nextId++);
  subs[topic].push_back(TcbObj{std::move(fn), id});
  return id;
}

void TpubSub::pub(int topic, long arg) {
  for (const TcbObj& cb : subs[topic]) cb.fn(arg);
}

int TpubSub::unsub(int topic, int id) {
  auto& list = subs[topic];
  auto it = std::find_if(list.begin(), list.end(), [id](const TcbObj& cb) { return cb.id == id; });
  if (it == list.end()) return 0;
  list.erase(it);
  return 1;
}
