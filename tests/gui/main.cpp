#include <gtest/gtest.h>

#include "support/wxassert.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  wxSetAssertHandler(failOnWxAssert);
  return RUN_ALL_TESTS();
}
