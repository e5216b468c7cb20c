#!/usr/bin/env python3
"""Writes reference Config.dat files with struct, independently of the C++ writer.

usage: config_writer.py DEFAULTS_OUT FULL_OUT
"""
import struct
import sys

MAGIC = 0x0ABC0001
NONE = 0xFF
S, C, A = 1, 2, 4

DEFAULT_KEYS = [
    (0x22, NONE, 0), (0x30, NONE, 0), (0x12, NONE, 0), (0x0E, NONE, 0), (0x20, NONE, 0),
    (0x39, 0, 0), (0x1A, 2, 0), (0x1B, 3, 0), (0x27, 4, 0), (0x28, 5, 0),
    (0x0F, 1, 0), (0x0F, NONE, S), (0x31, NONE, 0), (0x13, NONE, 0), (0x13, NONE, S),
    (0x26, NONE, 0), (0x24, 6, 0), (0x12, NONE, C), (0x19, NONE, 0), (0x14, NONE, 0),
    (0x1A, NONE, S), (0x1B, NONE, S), (0x3B, NONE, 0), (0x3B, NONE, S), (0x3C, NONE, 0),
    (0x3C, NONE, S), (0x3D, NONE, 0), (0x3D, NONE, S), (0x3F, NONE, 0), (0x3F, NONE, S),
    (0x3F, NONE, C), (0x3F, NONE, A), (0x40, NONE, 0), (0x40, NONE, S), (0x41, NONE, 0),
    (0x41, NONE, S), (0x42, NONE, 0), (0x42, NONE, S), (0x42, NONE, C), (0x42, NONE, A),
    (0x4E, NONE, 0), (0x4A, NONE, 0), (0x4E, NONE, S), (0x4A, NONE, S), (0x37, NONE, S),
    (0x4B, NONE, 0), (0x4D, NONE, 0), (0x48, NONE, 0), (0x50, NONE, 0), (0x4C, NONE, 0),
    (0xC7, NONE, 0), (0xD2, NONE, 0),
]


def record(width, height, refresh, floats5, controls, dead, sens, keys, names):
    out = struct.pack("<I", MAGIC)
    out += struct.pack("<3I", width, height, refresh)
    out += struct.pack("<5f", *floats5)
    out += struct.pack("<I2f", controls, dead, sens)
    for key in keys:
        out += struct.pack("<3B", *key)
    for name in names:
        out += struct.pack("128s", name)  # zero-padded
    assert len(out) == 588
    return out


defaults = record(1024, 768, 0, (0.75, 0.3, 0.5, 1.0, 0.5), 0, 0.1, 0.5, DEFAULT_KEYS, [b"", b"", b""])
# Every field set: the same values as the C++ test's FullRecord().
full_keys = [(i + 1, i % 32, i % 8) for i in range(52)]
full = record(1920, 1080, 75, (0.25, 0.125, 1.0, 0.375, 0.0625), 2, 0.2, 0.875, full_keys,
              [b"Game of " + b"g" * 100, b"Pilot", b"127.0.0.1"])

with open(sys.argv[1], "wb") as f:
    f.write(defaults)
with open(sys.argv[2], "wb") as f:
    f.write(full)
