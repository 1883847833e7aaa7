// Packet bytes as a decoder sees them after sync: the PID byte with its check
// nibble first, then the fields, then the CRC (low byte first for CRC16).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/ovbase.h"

namespace synth {

using Tbytes = std::vector<uint8_t>;

// The decoder's PID names, so that synthesized and decoded packets agree.
using ::pidAck, ::pidData0, ::pidData1, ::pidData2, ::pidIn, ::pidMdata, ::pidNak, ::pidNyet, ::pidOut,
    ::pidPing, ::pidSetup, ::pidSof, ::pidStall;
using ::Tpid;

// The 4-bit PID with its complement in the high nibble.
uint8_t pidByte(unsigned pid);
// USB CRC5 of an 11-bit field, as the 5 bits that follow it on the bus.
unsigned makeCRC5(unsigned field11);

Tbytes tokenPacket(unsigned pid, unsigned addr, unsigned endp);
Tbytes sofPacket(unsigned frame);
Tbytes dataPacket(unsigned pid, const Tbytes& payload);
Tbytes handshakePacket(unsigned pid);

// Faults for decoders to find: one flipped CRC bit; a check nibble that is no
// longer the complement of the PID.
void breakCrc(Tbytes& packet);
void breakPidCheck(Tbytes& packet);

}  // namespace synth
