#!/usr/bin/env python3
"""Writes small seed inputs for the fuzz targets into corpus/<target>/. Standard library only."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
Z64 = bytes.fromhex("803712400000000F")


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def yaz0_literals(data):
    """A valid Yaz0 stream of literals only, with one back-reference at the end."""
    out = bytearray()
    for i in range(0, len(data), 8):
        chunk = data[i:i + 8]
        out.append((0xFF << (8 - len(chunk))) & 0xFF)
        out += chunk
    return bytes(out)


def yaz0_file(data):
    return b"Yaz0" + struct.pack(">I", len(data)) + bytes(8) + yaz0_literals(data)


def rom_with_table(address, entries, files, length=0x2000):
    rom = bytearray(length)
    rom[0:8] = Z64
    rom[59:64] = b"CZLE\x01"
    rom[address - 0x30:address - 0x30 + 6] = b"zelda@"
    for i, entry in enumerate(entries):
        rom[address + 16 * i:address + 16 * i + 16] = struct.pack(">4i", *entry)
    for offset, data in files:
        rom[offset:offset + len(data)] = data
    return bytes(rom)


def main():
    # The decoder: declared size, then the stream.
    write("fuzz_yaz0", "worked1", struct.pack("<i", 6) + bytes.fromhex("C061622001"))
    write("fuzz_yaz0", "worked2", struct.pack("<i", 21) + bytes.fromhex("8078000002"))
    write("fuzz_yaz0", "literals", struct.pack("<i", 40) + yaz0_literals(bytes(range(40))))
    write("fuzz_yaz0", "empty", struct.pack("<i", 5))

    # Byte orders.
    body = bytes(range(256)) * 2
    write("fuzz_byteorder", "z64", Z64 + body)
    write("fuzz_byteorder", "v64", bytes.fromhex("3780401200000F00") + body)
    write("fuzz_byteorder", "n64", bytes.fromhex("401237800F000000") + body)

    # A ROM with a small table: one plain file, one compressed, one absent.
    packed = yaz0_file(b"tidepool" * 32)
    entries = [(0, 0x1060, 0, 0), (0x1060, 0x1200, 0x1060, 0), (0x1200, 0x1300, 0x1800, 0x1800 + len(packed)),
               (0x1300, 0x1400, -1, -1)]
    rom = rom_with_table(0x1100, entries, [(0x1800, packed)])
    write("fuzz_filetable", "table", struct.pack("<i", 0x1100 << 1) + rom)
    write("fuzz_filetable", "forest", struct.pack("<i", 0) + bytes(0x40) + b"forest@" + bytes(0x80))
    write("fuzz_decompressionpass", "table", struct.pack("<ii", 0x1100, 0x3000) + rom)
    write("fuzz_checksum", "rom", rom)
    write("fuzz_checksum", "short", Z64 + bytes(100))


if __name__ == "__main__":
    main()
