#include "ovpubsub.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

TpubSub::Tsubs& TpubSub::subsOf(int topic, std::type_index type) {
  Tsubs& found = subs.try_emplace(topic, Tsubs{type, {}}).first->second;
  if (found.type != type)
    throw std::logic_error("topic " + std::to_string(topic) + " carries another type of payload");
  return found;
}

int TpubSub::subAny(int topic, std::type_index type, std::function<void(const void*)> fn) {
  const int id = static_cast<int>(nextId++);
  subsOf(topic, type).list.push_back(TcbObj{std::move(fn), id});
  return id;
}

void TpubSub::pubAny(int topic, std::type_index type, const void* arg) {
  for (const TcbObj& cb : subsOf(topic, type).list) cb.fn(arg);
}

int TpubSub::sub(int topic, std::function<void(long)> fn) {
  return subAny(topic, typeid(long),
                [fn = std::move(fn)](const void* arg) { fn(*static_cast<const long*>(arg)); });
}

void TpubSub::pub(int topic, long arg) { pubAny(topic, typeid(long), &arg); }

int TpubSub::unsub(int topic, int id) {
  auto found = subs.find(topic);
  if (found == subs.end()) return 0;
  auto& list = found->second.list;
  auto it = std::find_if(list.begin(), list.end(), [id](const TcbObj& cb) { return cb.id == id; });
  if (it == list.end()) return 0;
  list.erase(it);
  return 1;
}
