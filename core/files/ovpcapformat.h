// What the pcap reader and writer agree on: the link types of USB packets,
// the file magics and the conversion between ticks and nanoseconds.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pcapfmt {

// One USB packet per record, from its PID through its CRC.
constexpr uint32_t linkUsb20 = 288;  // speed not stated
constexpr uint32_t linkUsbLow = 293;
constexpr uint32_t linkUsbFull = 294;
constexpr uint32_t linkUsbHigh = 295;

constexpr uint32_t magicMicro = 0xA1B2C3D4;
constexpr uint32_t magicNano = 0xA1B23C4D;
constexpr uint32_t ngSectionHeader = 0x0A0D0D0A;
constexpr uint32_t ngByteOrder = 0x1A2B3C4D;
constexpr uint32_t ngInterface = 1;
constexpr uint32_t ngSimplePacket = 3;
constexpr uint32_t ngEnhancedPacket = 6;
constexpr uint16_t ngOptEnd = 0;
constexpr uint16_t ngOptTsResol = 9;

// Ticks are 1000/12 ns. Both directions split the value so that hours of
// capture neither overflow nor drift; ns -> ticks rounds to the nearest tick,
// so ticks -> ns -> ticks gives back the same tick.
inline uint64_t ticksToNs(uint64_t ticks) { return ticks / 3 * 250 + ticks % 3 * 250 / 3; }
inline uint64_t nsToTicks(uint64_t ns) { return ns / 250 * 3 + (ns % 250 * 3 + 125) / 250; }

// Ticks the packet occupies on the wire from the start of its sync to the end
// of its EOP's SE0: 8 sync bits, the bytes with their stuffed bits, 2 SE0 bits.
uint64_t wireTicks(const uint8_t* bytes, size_t n);

}  // namespace pcapfmt
