// The topic hub and the subscriptions that end with their owners.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ovstatustext.h"
#include "ovsubscription.h"

namespace {
constexpr TtypedTopic<std::string> topicText{901};
constexpr int topicNumber = 902;
}  // namespace

TEST(GuiHub, TypedTopicsCarryTheirPayloadAndSubscriptionsEndWithTheirOwners) {
  std::vector<std::string> heard;
  std::optional<Tsubscription> first;
  first.emplace(topicText, [&](const std::string& text) { heard.push_back("first " + text); });
  {
    Tsubscription second(topicText, [&](const std::string& text) { heard.push_back("second " + text); });
    _G.pubSub.pub(topicText, std::string("a path"));
  }
  _G.pubSub.pub(topicText, std::string("again"));
  first.reset();
  _G.pubSub.pub(topicText, std::string("unheard"));
  EXPECT_EQ(heard, (std::vector<std::string>{"first a path", "second a path", "first again"}));

  // A topic keeps the type it was first used with.
  EXPECT_THROW(_G.pubSub.sub(topicText.id, [](long) {}), std::logic_error);
  EXPECT_THROW(_G.pubSub.pub(topicText.id, 0), std::logic_error);
  long sum = 0;
  const int id = _G.pubSub.sub(topicNumber, [&](long n) { sum += n; });
  EXPECT_THROW(_G.pubSub.pub(TtypedTopic<TstatusTexts>{topicNumber}, TstatusTexts{}), std::logic_error);
  _G.pubSub.pub(topicNumber, 5);
  EXPECT_EQ(_G.pubSub.unsub(topicNumber, id), 1);
  EXPECT_EQ(_G.pubSub.unsub(topicNumber, id), 0);
  _G.pubSub.pub(topicNumber, 7);
  EXPECT_EQ(sum, 5);
}
