#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "ovboxkey.h"

// Kept images are found by what they show: whatever changes a pixel changes the key, what
// only moves the box does not.
TEST(BoxKeys, EveryDrawnPropertyAndNothingElse) {
  TdisplayBox box;
  box.text1 = "ADDR";
  box.text2 = "12";
  const std::string plain = boxStampKey(box, 56, 0xe8e8e8);

  const std::vector<std::function<void(TdisplayBox&)>> drawn = {
      [](TdisplayBox& b) { b.text1 = "ENDP"; },  [](TdisplayBox& b) { b.text2 = "13"; },
      [](TdisplayBox& b) { b.textColour1 = 0; }, [](TdisplayBox& b) { b.fillColour1 = 0xff; },
      [](TdisplayBox& b) { b.textColour2 = 0; }, [](TdisplayBox& b) { b.fillColour2 = 0xff; },
      [](TdisplayBox& b) { b.kind = 0; },        [](TdisplayBox& b) { b.text1 = "ADDR1", b.text2 = "2"; }};
  for (std::size_t i = 0; i < drawn.size(); i++) {
    TdisplayBox changed = box;
    drawn[i](changed);
    EXPECT_NE(boxStampKey(changed, 56, 0xe8e8e8), plain) << "change " << i;
  }
  EXPECT_NE(boxStampKey(box, 57, 0xe8e8e8), plain) << "width in pixels";
  EXPECT_NE(boxStampKey(box, 56, 0xffc0cb), plain) << "row background under the corners";

  TdisplayBox moved = box;
  moved.gap = 26;
  moved.width = -1;
  moved.summaryValue = false;
  EXPECT_EQ(boxStampKey(moved, 56, 0xe8e8e8), plain);
  TdisplayBox oneLine = box, otherSecond = box;
  oneLine.kind = otherSecond.kind = 0;
  otherSecond.text2 = "other";
  otherSecond.fillColour2 = 0;
  EXPECT_EQ(boxStampKey(oneLine, 56, 0), boxStampKey(otherSecond, 56, 0)) << "one line draws no second text";

  const std::string image = textImageKey("0x2D", 1, 2, 56, 16);
  EXPECT_NE(textImageKey("0x2E", 1, 2, 56, 16), image);
  EXPECT_NE(textImageKey("0x2D", 2, 1, 56, 16), image);
  EXPECT_NE(textImageKey("0x2D", 1, 2, 16, 56), image);
  EXPECT_NE(textImageKey("0x2D", 1, 2, 56, 17), image);
  EXPECT_EQ(textImageKey("0x2D", 1, 2, 56, 16), image);
}

TEST(BoxKeys, ImagesStartAfreshWhenFull) {
  TimageMap<int> images(3);
  for (int i = 0; i < 3; i++) images.put(std::to_string(i), i);
  ASSERT_NE(images.find("2"), nullptr);
  EXPECT_EQ(*images.find("2"), 2);
  EXPECT_EQ(images.find("3"), nullptr);
  EXPECT_EQ(images.size(), 3u);
  images.put("3", 3);
  EXPECT_EQ(images.size(), 1u);
  EXPECT_EQ(images.find("0"), nullptr);
  EXPECT_EQ(*images.find("3"), 3);
}
