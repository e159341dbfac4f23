#!/usr/bin/env python3
"""Writes a ten-head drive folder for timing the surface-log report: surface
logs of 4096 sectors per head (87 379 records each, no end record), zone
tables of 255 zones (10 sectors each), module 0xE6 of 64 sectors."""
import os
import random
import struct
import sys

HEADS = 10
SURFACE_IDS = [0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xF0, 0xF1, 0x3D08, 0x3D09]
ZONES = 255
ZONE_WIDTH = 1200


def royl(module_id, sectors, data):
    img = bytearray(sectors * 512)
    img[0:4] = b"ROYL"
    struct.pack_into("<HHH", img, 6, 0x30, module_id, sectors)
    img[0x30:0x30 + len(data)] = data
    total = sum(struct.unpack_from("<%dI" % (len(img) // 4), img)) & 0xFFFFFFFF
    struct.pack_into("<I", img, 12, (-total) & 0xFFFFFFFF)
    return bytes(img)


def main(folder):
    rnd = random.Random(0x5EED)
    os.makedirs(os.path.join(folder, "modules"), exist_ok=True)
    os.makedirs(os.path.join(folder, "tables"), exist_ok=True)
    with open(os.path.join(folder, "drive.ini"), "w") as f:
        f.write("[Identity]\nModel=WDC WD100EFAX-68LHPN0\nFirmware=83.H0A83\n"
                "Serial=WD-BENCH0001\nSectors=19532873728\n")

    def module(mid, image):
        with open(os.path.join(folder, "modules", "~id%04X.rpm" % mid), "wb") as f:
            f.write(image)

    def table(tid, param, image):
        with open(os.path.join(folder, "tables", "%02X-%04X.bin" % (tid, param)), "wb") as f:
            f.write(image)

    config = bytearray(512)
    config[30] = HEADS
    table(1, 0, bytes(config))
    heads = bytearray(16)
    heads[4] = HEADS
    module(0x0A, royl(0x0A, 1, heads))
    for h in range(HEADS):
        zt = bytearray(10 * 512)
        zt[2] = ZONES
        for z in range(ZONES):
            struct.pack_into("<IIQH", zt, 50 + 18 * z, z * ZONE_WIDTH,
                             (z + 1) * ZONE_WIDTH - 1, z, 1800 - 3 * z)
        table(0x0D, h, bytes(zt))
        records = (4096 * 512 - 48) // 24
        data = bytearray(records * 24)
        for i in range(records):
            address = rnd.randrange(ZONES * ZONE_WIDTH)
            track = rnd.random() < 0.1
            struct.pack_into(">I", data, 24 * i, address)
            struct.pack_into("<HH", data, 24 * i + 4, 0xFFFF if track else 0, 0x0200)
            struct.pack_into("<HH", data, 24 * i + 18, i & 0x7FF, (i & 0x7FF) + 3)
        module(SURFACE_IDS[h], royl(SURFACE_IDS[h], 4096, data))
    e6 = bytearray(64 * 512 - 48)
    struct.pack_into("<I", e6, 0, 14)
    base = 0x100
    for i in range(14):
        struct.pack_into("<I", e6, 4 + 4 * i, 0x30 + base + 0x40 * i)
    struct.pack_into("<I", e6, base, 1234)
    struct.pack_into("<I", e6, base + 0x40, 987654)
    for k in range(100):
        struct.pack_into("<HHHBBII", e6, base + 0x80 + 16 * k, 0x2400 + k, 1, k, 0, 0,
                         600 * k, 600 * k + 300)
    module(0xE6, royl(0xE6, 64, e6))


if __name__ == "__main__":
    main(sys.argv[1])
