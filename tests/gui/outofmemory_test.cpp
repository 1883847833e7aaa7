// Loads and captures that run out of memory: the user is told, and what was
// on screen stays there.
#include <gtest/gtest.h>

#include <new>

#include "allocfail.h"
#include "ovdispldata.h"

TEST(GuiOutOfMemory, LoadAndAdoptionKeepTheShownData) {
  TdisplData data;
  ASSERT_EQ(data.sampleFileRead(TWR_TEST_DATA_DIR "/lib_sample.ovd"), 22u);
  const TobjPtr first = data.getDisplRowPtr(0);
  // Made before memory runs out: a capture whose display index cannot be built.
  const TobjPtr sof = std::make_shared<Tsof>();
  auto captured = std::make_shared<Tcapture>();
  for (int i = 0; i < 100000; ++i) captured->appendRoot(sof);

  const std::string pcap = TWR_TEST_DATA_DIR "/packetry/emf2022-badge/capture.pcap";
  failAllocations(allocFailAnyThread, 16384);
  const unsigned loaded = data.sampleFileRead(pcap);
  bool adoptionFailed = false;
  try {
    data.adopt(captured);
  } catch (const std::bad_alloc&) {
    adoptionFailed = true;
  }
  failAllocations(allocFailNone, 0);

  EXPECT_EQ(loaded, 0u);
  EXPECT_EQ(data.fileError(), "Cannot read \"" + pcap + "\": out of memory.");
  EXPECT_FALSE(data.fileMissing());
  EXPECT_TRUE(adoptionFailed);
  EXPECT_EQ(data.rowCount(), 22);
  EXPECT_EQ(data.getDisplRowPtr(0), first);
  EXPECT_GT(data.sampleFileRead(pcap), 0u);
}
