// The topic hub of the GUI: panes meet through small integer topics instead of
// calling each other. GUI thread only; nothing is locked.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <typeindex>
#include <vector>

struct TstatusTexts;

enum Ttopic : int {
  topicScrolled = 1,         // linear row index to show at the top of the tree
  topicVisRowsChanged = 4,   // 0; the filters or the rows changed
  topicZoom = 5,             // +1 or -1
  topicSplitterChanged = 6,  // 0; the outer sash moved
  topicDoCapture = 9,        // 0
  topicStepError = 12,       // +1 select the next row with an error, -1 the previous one
};

// A topic whose payload is a T, handed by reference for the length of the call: publisher
// and subscribers agree on its type when they compile.
template <class T>
struct TtypedTopic {
  int id;
};

constexpr TtypedTopic<TstatusTexts> topicStatus{11};

class TpubSub {
  template <class T>
  struct Tsame {
    using type = T;
  };

 public:
  // Ids rise by one across all topics, starting at 1. A topic carries one type of payload:
  // subscribing with another throws std::logic_error.
  int sub(int topic, std::function<void(long)> fn);
  template <class T>
  int sub(TtypedTopic<T> topic, std::function<void(const typename Tsame<T>::type&)> fn) {
    return subAny(topic.id, typeid(T),
                  [fn = std::move(fn)](const void* arg) { fn(*static_cast<const T*>(arg)); });
  }
  // Calls the topic's callbacks in subscription order. A callback must not
  // subscribe to or unsubscribe from the topic being published. A payload of another
  // type than the topic's throws std::logic_error.
  void pub(int topic, long arg);
  template <class T>
  void pub(TtypedTopic<T> topic, const typename Tsame<T>::type& payload) {
    pubAny(topic.id, typeid(T), &payload);
  }
  // 1 when the subscription was found and removed, else 0.
  int unsub(int topic, int id);

 private:
  struct TcbObj {
    std::function<void(const void*)> fn;
    int32_t id;
  };
  struct Tsubs {
    std::type_index type;
    std::vector<TcbObj> list;
  };
  int subAny(int topic, std::type_index type, std::function<void(const void*)> fn);
  void pubAny(int topic, std::type_index type, const void* arg);
  Tsubs& subsOf(int topic, std::type_index type);

  uint32_t nextId = 1;
  std::map<int, Tsubs> subs;
};
