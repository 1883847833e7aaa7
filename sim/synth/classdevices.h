// A CDC ACM virtual serial port and a bulk-only mass-storage device: their
// descriptor sets and scenarios (enumeration, class requests, class traffic).
#pragma once

#include <cstdint>
#include <memory>

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

}  // namespace synth
