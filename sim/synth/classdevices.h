// Class devices: a CDC ACM virtual serial port, a bulk-only mass-storage
// device, USB-serial chips and a DFU boot loader. Their descriptor sets and
// scenarios (enumeration, class or vendor requests, class traffic).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "synth/descriptors.h"
#include "synth/scenario.h"

namespace synth {

// Serial port behind an interface association: communication interface 0 with
// header, call management, ACM and union descriptors and interrupt IN 0x83;
// data interface 1 with bulk IN 0x82 and bulk OUT 0x02.
TdeviceBlobs cdcAcmBlobs();
// SCSI transparent command set over Bulk-Only Transport, bulk IN 0x81 and OUT 0x02.
TdeviceBlobs massStorageBlobs();

// Line coding 115200 baud, 8 data bits, no parity, 1 stop bit.
Tbytes lineCoding115200();
// A Command Block Wrapper around a SCSI command block.
Tbytes commandBlockWrapper(uint32_t tag, uint32_t dataLength, bool dataIn, uint8_t lun, const Tbytes& cdb);
Tbytes commandStatusWrapper(uint32_t tag, uint32_t residue, uint8_t status);

std::unique_ptr<Tscenario> makeSerialScenario(uint64_t seed);
std::unique_ptr<Tscenario> makeStorageScenario(uint64_t seed);

// USB-serial chips at address 5, each with one vendor interface: FTDI FT232R
// (bulk IN 0x81, OUT 0x02), CP2102 (0x81, 0x01), CH340 (0x82, 0x02, interrupt
// 0x81) and PL2303 (0x83, 0x02, interrupt 0x81).
TdeviceBlobs ftdiBlobs();
TdeviceBlobs cp210xBlobs();
TdeviceBlobs ch341Blobs();
TdeviceBlobs pl2303Blobs();
// What the chips print once opened at 115200 baud, 8N1; the host types "help\r".
const std::string& serialChipText();
// "ftdi", "cp210x", "ch341" or "pl2303"; null for another name.
std::unique_ptr<Tscenario> makeSerialChipScenario(const std::string& chip, uint64_t seed);

// A boot loader in DFU mode at address 6, DFU 1.1 or DfuSe (whose data blocks
// go to flash at 0x08000000), and the image downloaded into it.
TdeviceBlobs dfuBlobs(bool dfuse);
size_t dfuTransferSize(bool dfuse);
const Tbytes& dfuImage();
std::unique_ptr<Tscenario> makeDfuScenario(uint64_t seed);
std::unique_ptr<Tscenario> makeDfuseScenario(uint64_t seed);

}  // namespace synth
