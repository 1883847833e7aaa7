// The main window's display-free rules: the topic hub and zoom steps.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ovpubsub.h"
#include "ovviewrules.h"

TEST(TopicHub, IdsOrderAndUnsubscribe) {
  TpubSub hub;
  std::vector<std::string> calls;
  EXPECT_EQ(hub.sub(topicZoom, [&](long a) { calls.push_back("a" + std::to_string(a)); }), 1);
  EXPECT_EQ(hub.sub(topicDoCapture, [&](long a) { calls.push_back("c" + std::to_string(a)); }), 2);
  EXPECT_EQ(hub.sub(topicZoom, [&](long a) { calls.push_back("b" + std::to_string(a)); }), 3);

  hub.pub(topicZoom, -1);
  EXPECT_EQ(calls, (std::vector<std::string>{"a-1", "b-1"}));
  hub.pub(topicScrolled, 7);  // nobody listens
  EXPECT_EQ(calls.size(), 2u);

  EXPECT_EQ(hub.unsub(topicZoom, 2), 0) << "id 2 belongs to another topic";
  EXPECT_EQ(hub.unsub(topicZoom, 1), 1);
  EXPECT_EQ(hub.unsub(topicZoom, 1), 0);
  calls.clear();
  hub.pub(topicZoom, 1);
  hub.pub(topicDoCapture, 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"b1", "c0"}));
  EXPECT_EQ(hub.sub(topicZoom, nullptr), 4);
  EXPECT_THROW(hub.pub(topicZoom, 1), std::bad_function_call);
}

TEST(MainWindow, ZoomSteps) {
  using viewrules::zoomedPointSize;
  EXPECT_EQ(zoomedPointSize(12, +1), 14);
  EXPECT_EQ(zoomedPointSize(16, +1), 19);
  EXPECT_EQ(zoomedPointSize(20, -1), 16);
  EXPECT_EQ(zoomedPointSize(7, -1), 6);
  EXPECT_EQ(zoomedPointSize(6, -1), 6);
}
