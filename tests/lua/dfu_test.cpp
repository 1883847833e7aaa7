// Firmware downloads into synthesized boot loaders, DFU 1.1 and DfuSe: the
// functional descriptor, each block, and the states the device reports.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "synth/classdevices.h"
#include "synthrows.h"

namespace {

// The first 16 bytes of the image from `at` as a hex table row.
std::string hexRow(size_t at) {
  std::string row = "0000#";
  char b[4];
  for (size_t i = at; i < at + 16; ++i) {
    std::snprintf(b, sizeof b, i == at ? "%02X" : " %02X", synth::dfuImage()[i]);
    row += b;
  }
  return row;
}

}  // namespace

TEST(ScriptsOnDfu, DownloadBlocksAndStates) {
  const Tdecoded d = decodeAll(scenarioRows("dfu", 0.3));
  EXPECT_NE(d.find(otTransfer, {"TDFU functional descriptor",
                                "bmAttributes#0x0B (bitCanDnload, bitCanUpload, "
                                "bitWillDetach)",
                                "wTransferSize#1024 bytes", "bcdDFUVersion#0x0110 (DFU 1.1)"}),
            "");
  EXPECT_NE(d.find(otTransfer, "bInterfaceProtocol#0x02 (DFU mode)"), "");
  const size_t size = synth::dfuTransferSize(false), image = synth::dfuImage().size();
  for (size_t block = 0; block * size < image; ++block) {
    const std::string length = std::to_string(std::min(size, image - block * size));
    EXPECT_NE(d.find(otTransfer, {"DFU DNLOAD (block " + std::to_string(block) + ")",
                                  "Firmware block " + std::to_string(block) + " (" + length + " bytes)",
                                  hexRow(block * size)}),
              "")
        << block;
  }
  EXPECT_NE(d.find(otTransfer, "DFU DNLOAD (block 3, no data: the download is complete)"), "");
  EXPECT_NE(d.find(otTransfer, {"DFU GETSTATUS", "bStatus#0 (OK: no error)", "bwPollTimeout#5 ms",
                                "bState#4 (dfuDNBUSY)"}),
            "");
  EXPECT_NE(d.find(otTransfer, {"DFU GETSTATUS", "bState#5 (dfuDNLOAD-IDLE)"}), "");
  EXPECT_NE(d.find(otTransfer, {"DFU GETSTATUS", "bState#7 (dfuMANIFEST)"}), "");
  EXPECT_NE(d.find(otTransfer, {"DFU GETSTATE", "bState#2 (dfuIDLE)"}), "");
}

TEST(ScriptsOnDfu, DfuSeCommandsAndAddresses) {
  const Tdecoded d = decodeAll(scenarioRows("dfuse", 0.3));
  EXPECT_NE(d.find(otTransfer, "bcdDFUVersion#0x011A (DfuSe)"), "");
  EXPECT_NE(d.find(otTransfer,
                   {"DFU UPLOAD (block 0, the DfuSe commands)", "0x21#Set Address Pointer", "0x41#Erase"}),
            "");
  EXPECT_NE(d.find(otTransfer, {"DfuSe command: Set Address Pointer", "Address#0x08000000"}), "");
  EXPECT_NE(d.find(otTransfer, {"DfuSe command: Erase", "Page address#0x08000000"}), "");
  // Block 2 goes to the pointer, each later one a transfer size further.
  EXPECT_NE(d.find(otTransfer, {"DFU DNLOAD (block 2, DfuSe address 0x08000000)", hexRow(0)}), "");
  EXPECT_NE(d.find(otTransfer, {"DFU DNLOAD (block 3, DfuSe address 0x08000800)", hexRow(2048)}), "");
}
