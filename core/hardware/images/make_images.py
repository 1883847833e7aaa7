#!/usr/bin/env python3
"""Writes the stand-in device images next to this script.

The real FX2 firmware and FPGA configuration come with the hardware; these stand-ins only
have the shape the host and the simulated sniffer rely on. The output is deterministic, so
running the script again reproduces the committed files byte for byte.
"""
import os
import struct
import zlib

FX2_STREAM_LENGTH = 5948  # same size as the hardware's image, so size-dependent paths match
FPGA_ROWS = 599
ROW_BYTES = 16


class Xorshift:
    def __init__(self, seed):
        self.state = seed

    def next(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x

    def byte(self):
        return self.next() & 0xFF


def fx2_records(rng):
    out = bytearray()
    address = 0
    while True:
        left = FX2_STREAM_LENGTH - len(out) - 3
        n = 1 + rng.next() % 40
        # The last record takes whatever is left, so the stream ends exactly at its length.
        if left - n < 4:
            n = left
        out += bytes([n, address >> 8, address & 0xFF])
        out += bytes(rng.byte() for _ in range(n))
        address += n
        if len(out) == FX2_STREAM_LENGTH:
            return bytes(out)


def fpga_image(rng):
    rows = bytes(rng.byte() for _ in range(FPGA_ROWS * ROW_BYTES))
    checksum = zlib.crc32(rows) & 0xFFFFFFFF
    return struct.pack("<II", FPGA_ROWS, checksum) + rows


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "fx2firmware.bin"), "wb") as f:
        f.write(fx2_records(Xorshift(0x2545F491)))
    with open(os.path.join(here, "fpgaconfig.bin"), "wb") as f:
        f.write(fpga_image(Xorshift(0x9E3779B9)))


if __name__ == "__main__":
    main()
