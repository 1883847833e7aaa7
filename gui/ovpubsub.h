// The topic hub of the GUI: panes meet through small integer topics instead of
// calling each other. GUI thread only; nothing is locked.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

enum Ttopic : int {
  topicScrolled = 1,         // linear row index to show at the top of the tree
  topicVisRowsChanged = 4,   // 0; the filters or the rows changed
  topicZoom = 5,             // +1 or -1
  topicSplitterChanged = 6,  // 0; the outer sash moved
  topicSampleFileRead = 7,   // const char* path, valid during the call
  topicSampleFileSave = 8,   // const char* path, valid during the call
  topicDoCapture = 9,        // 0
  topicExportPcap = 10,      // const char* path, valid during the call
  topicStatus = 11,          // const TstatusTexts*, valid during the call
  topicStepError = 12,       // +1 select the next row with an error, -1 the previous one
};

struct TcbObj {
  std::function<void(long)> fn;
  int32_t id;
};

class TpubSub {
 public:
  // Ids rise by one across all topics, starting at 1.
  int sub(int topic, std::function<void(long)> fn);
  // Calls the topic's callbacks in subscription order. A callback must not
  // subscribe to or unsubscribe from the topic being published.
  void pub(int topic, long arg);
  // 1 when the subscription was found and removed, else 0.
  int unsub(int topic, int id);

 private:
  uint32_t nextId = 1;
  std::map<int, std::vector<TcbObj>> subs;
};
