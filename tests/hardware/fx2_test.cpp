// The FX2 transport against the simulated sniffer.
#include <gtest/gtest.h>
#include <libusb.h>

#include <map>

#include "hardware/ovimages.h"
#include "hardware/ovlow.h"
#include "hwsupport.h"

namespace {

constexpr uint16_t vid = 0x04B4, pid = 0x8613;

// Sniffer first: libusb must find the testbed when the transport initialises it.
struct Trig {
  explicit Trig(const TsimConfig& config = TsimConfig::quick()) : sniffer(config), low(quickHostTiming()) {
    wirelog::clear();
  }
  TsimSniffer sniffer;
  TovLow low;
};

}  // namespace

TEST(Fx2Transport, OpensWithAndWithoutAKernelDriver) {
  {
    // A bare FX2 often gets a kernel driver; the device must still open.
    TsimConfig config = TsimConfig::quick();
    config.kernelDriverBound = true;
    Trig rig(config);
    ASSERT_TRUE(rig.sniffer.status().kernelDriverBound);
    ASSERT_TRUE(rig.low.open(vid, pid, 0)) << "lastError " << rig.low.lastError.load();
    const TsimStatus s = rig.sniffer.status();
    EXPECT_FALSE(s.kernelDriverBound);
    EXPECT_TRUE(s.interfaceClaimed);
    EXPECT_EQ(s.configuration, 1);
    // Opening again while open releases the first handle rather than fighting it for the interface.
    EXPECT_TRUE(rig.low.open(vid, pid, 0));
    rig.low.close();
    EXPECT_FALSE(rig.sniffer.status().interfaceClaimed);
    EXPECT_EQ(rig.low.dev, nullptr);
  }
  {
    Trig rig;
    EXPECT_FALSE(rig.low.open(vid, pid, 1)) << "only one sniffer present";
    EXPECT_FALSE(rig.low.open(vid, 0x1234, 0));
    EXPECT_FALSE(rig.low.isOpen());
    EXPECT_EQ(rig.low.instance, 0);
    EXPECT_EQ(rig.low.productId, 0x1234);
  }
}

TEST(Fx2Transport, RamRequestsInChunksOfSixteen) {
  Trig rig;
  ASSERT_TRUE(rig.low.open(vid, pid, 0));
  wirelog::clear();
  Bytes data(17);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(0xA0 + i);

  EXPECT_EQ(rig.low.WriteRAM(0x1000, data.data(), 0, 5000), 0u);
  EXPECT_TRUE(wirelog::requests().empty());

  EXPECT_EQ(rig.low.WriteRAM(0x2000, data.data(), 17, 5000), 0u);
  auto log = wirelog::requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].requestType, 0x40);
  EXPECT_EQ(log[0].request, 0xA0);
  EXPECT_EQ(log[0].value, 0x2000);
  EXPECT_EQ(log[0].index, 0);
  EXPECT_EQ(log[0].data, Bytes(data.begin(), data.begin() + 16));
  EXPECT_EQ(log[1].value, 0x2010);
  EXPECT_EQ(log[1].data, Bytes{data[16]});

  Bytes back(17, 0);
  EXPECT_EQ(rig.low.ReadRAM(0x2000, back.data(), 17, 5000), 0u);
  EXPECT_EQ(back, data);
  EXPECT_EQ(wirelog::requests().back().requestType, 0xC0);

  // Records cut short by the end of the image are refused before any request; empty
  // records make none and the walk goes on.
  wirelog::clear();
  const uint8_t cut[] = {4, 0x10, 0x00, 1, 2};
  EXPECT_FALSE(rig.low.programEmbedded(cut, sizeof cut));
  EXPECT_FALSE(rig.low.programEmbedded(cut, 2));
  EXPECT_TRUE(wirelog::requests().empty());
  const uint8_t records[] = {0, 0x30, 0x00, 2, 0x30, 0x10, 0x55, 0x66};
  EXPECT_TRUE(rig.low.programEmbedded(records, sizeof records));
  log = wirelog::requests();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].value, 0x3010);
  EXPECT_EQ(log[0].data, (Bytes{0x55, 0x66}));

  // With the device gone every chunk fails and each is counted.
  rig.sniffer.unplug();
  EXPECT_EQ(rig.low.WriteRAM(0x1000, data.data(), 17, 5000), 2u);
  EXPECT_LT(rig.low.lastError.load(), 0);
  EXPECT_FALSE(rig.low.FX2setResetBit(true));
  rig.low.close();
  EXPECT_EQ(rig.low.WriteRAM(0x1000, data.data(), 17, 5000), 1u);
}

TEST(Fx2Transport, FirmwareDownloadAndReenumeration) {
  Trig rig;
  const int before = rig.sniffer.status().devnum;
  ASSERT_TRUE(rig.low.FX2openAndReload());
  EXPECT_TRUE(rig.low.isOpen());
  const TsimStatus s = rig.sniffer.status();
  EXPECT_TRUE(s.firmwareRunning);
  EXPECT_EQ(s.arrivals, 2u);
  EXPECT_NE(s.devnum, before);
  EXPECT_TRUE(s.interfaceClaimed);

  // The wire carries: CPU held, the image's records in 16-byte chunks, CPU released.
  const auto log = wirelog::requests();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log.front().value, 0xE600);
  EXPECT_EQ(log.front().data, Bytes{1});
  std::map<uint32_t, uint8_t> written;
  size_t cpuRelease = 0;
  for (size_t i = 1; i < log.size(); ++i) {
    if (log[i].value == 0xE600) {
      cpuRelease = i;
      break;
    }
    EXPECT_EQ(log[i].request, 0xA0);
    EXPECT_LE(log[i].data.size(), 16u);
    for (size_t k = 0; k < log[i].data.size(); ++k) written[log[i].value + k] = log[i].data[k];
  }
  ASSERT_GT(cpuRelease, 0u);
  EXPECT_EQ(log[cpuRelease].data, Bytes{0});
  std::map<uint32_t, uint8_t> image;
  for (uint32_t off = 0; off < fxprogLength(); off += 3 + fxprog[off])
    for (uint32_t k = 0; k < fxprog[off]; ++k)
      image[fxprog[off + 1] * 256u + fxprog[off + 2] + k] = fxprog[off + 3 + k];
  EXPECT_EQ(written, image);

  // The running firmware answers its string request on the new handle.
  uint8_t text[64] = {};
  EXPECT_GT(rig.low.controlIn(0xC0, 0, 0, text, 64), 0);
}

TEST(Fx2Transport, ReloadGivesUpWhenTheDeviceNeverReturns) {
  TsimConfig config = TsimConfig::quick();
  config.faults.insert(TsimFault::neverReenumerate);
  Trig rig(config);
  ASSERT_TRUE(rig.low.open(vid, pid, 0));
  EXPECT_FALSE(rig.low.reloadFX2());
  EXPECT_FALSE(rig.low.isOpen());
  EXPECT_FALSE(rig.sniffer.status().onBus);
}

TEST(Fx2Transport, BlockReadsAndTheirTimeouts) {
  Trig rig;
  ASSERT_TRUE(rig.low.FX2openAndReload());
  wirelog::clear();
  Bytes block(4096, 0xEE);
  int received = -5;
  // Nothing streams yet: a time-out is not an error and the device stays open.
  EXPECT_EQ(rig.low.blockRead(0x86, block.data(), 4096, received), 0);
  EXPECT_EQ(received, 0);
  EXPECT_TRUE(rig.low.isOpen());
  auto reads = wirelog::reads();
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].endpoint, 0x86);
  EXPECT_EQ(reads[0].timeout, quickHostTiming().readTimeoutMs);
  EXPECT_EQ(reads[0].result, LIBUSB_ERROR_TIMEOUT);

  // Long reads get one millisecond per 512 bytes.
  ASSERT_TRUE(rig.low.clearFX2FIFO() && rig.low.resetFPGA() && rig.low.startStreaming());
  Bytes big(5120000);
  EXPECT_EQ(rig.low.blockRead(0x86, big.data(), int(big.size()), received), 0);
  EXPECT_GT(received, 0);
  reads = wirelog::reads();
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[1].timeout, 10000u);
  EXPECT_EQ(reads[1].received, received);

  // Any other error closes the device.
  rig.sniffer.unplug();
  EXPECT_LT(rig.low.blockRead(0x86, block.data(), 4096, received), 0);
  EXPECT_FALSE(rig.low.isOpen());
  EXPECT_LT(rig.low.lastError.load(), 0);
}
