#!/usr/bin/env python3
"""Capture with libtwrcore from Python through ctypes and print the first rows.

    python3 twrcapture.py [--lib PATH] [--size BYTES] [--rows N]

Without hardware, run it under the simulated sniffer:
    twr-sim -- python3 twrcapture.py --lib build/lib/libtwrcore.so
"""
import argparse
import ctypes
import sys
import time


def load(path):
    lib = ctypes.CDLL(path)
    ctx = ctypes.c_void_p
    signatures = {
        "sniffInit": (ctx, []),
        "sniffEnd": (None, [ctx]),
        "versionX": (ctypes.c_char_p, []),
        "getHardwareStatus": (ctypes.c_int, [ctx]),
        "statusText": (ctypes.c_char_p, [ctypes.c_int]),
        "getSerialX": (ctypes.c_char_p, [ctx]),
        "setNeeded": (ctypes.c_bool, [ctx, ctypes.c_uint32]),
        "setRun": (ctypes.c_bool, [ctx, ctypes.c_int]),
        "getRun": (ctypes.c_int, [ctx]),
        "getCaptureDone": (ctypes.c_int, [ctx]),
        "getCaptureCount": (ctypes.c_uint64, [ctx]),
        "startDecode": (ctypes.c_bool, [ctx]),
        "getDecodedCount": (ctypes.c_uint64, [ctx]),
        "getPacketDataRowCount": (ctypes.c_uint32, [ctx]),
        "getPacketDataRow": (ctypes.c_uint32, [ctx, ctypes.c_uint32, ctypes.c_char_p, ctypes.c_uint32]),
        "getBoxStrX": (ctypes.c_char_p, [ctx, ctypes.c_uint32]),
    }
    for name, (restype, argtypes) in signatures.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
    return lib


def row_text(lib, ctx, ix):
    # Copy-out: ask with a small buffer, then again with the size reported.
    size = lib.getPacketDataRow(ctx, ix, ctypes.create_string_buffer(1), 1)
    buf = ctypes.create_string_buffer(size)
    lib.getPacketDataRow(ctx, ix, buf, size)
    return buf.value.decode()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--lib", default="libtwrcore.so.0")
    parser.add_argument("--size", type=int, default=64 * 1024)
    parser.add_argument("--rows", type=int, default=10)
    parser.add_argument("--wait", type=float, default=20.0, help="seconds to wait for the sniffer")
    args = parser.parse_args()

    lib = load(args.lib)
    print(lib.versionX().decode())
    ctx = lib.sniffInit()
    if not ctx:
        sys.exit("sniffInit failed")
    try:
        deadline = time.monotonic() + args.wait
        while lib.getHardwareStatus(ctx) != 0:
            if time.monotonic() > deadline:
                sys.exit(lib.statusText(lib.getHardwareStatus(ctx)).decode())
            time.sleep(0.1)
        print("sniffer", lib.getSerialX(ctx).decode())

        if not lib.setNeeded(ctx, args.size):
            sys.exit("capture size refused: a capture is running")
        lib.setRun(ctx, 1)
        while lib.getRun(ctx) or not lib.getCaptureDone(ctx):
            time.sleep(0.05)
        captured = lib.getCaptureCount(ctx)
        if not lib.startDecode(ctx):
            sys.exit("decoding failed")
        rows = lib.getPacketDataRowCount(ctx)
        print("captured %d bytes, decoded %d, %d rows" % (captured, lib.getDecodedCount(ctx), rows))
        for ix in range(min(rows, args.rows)):
            print("%5d %s" % (ix, lib.getBoxStrX(ctx, ix).decode().rstrip()))
            # A grouping row holds its whole subtree; its own line is enough here.
            print("      " + row_text(lib, ctx, ix).split("\n")[0])
        if rows == 0:
            sys.exit("no rows decoded")
    finally:
        lib.sniffEnd(ctx)


if __name__ == "__main__":
    main()
