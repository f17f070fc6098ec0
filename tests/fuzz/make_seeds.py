#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets from real volumes made with mkfs.vfat,
mkfs.exfat and mtools. Run by hand when the input formats change; the seeds are committed."""

import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SECTOR = 512


def run(*argv):
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)


def blank(path, sectors):
    with open(path, "wb") as f:
        f.truncate(sectors * SECTOR)


def geometry_seed(image):
    """The volume geometry input: length in sectors, then each run of non-zero sectors."""
    data = open(image, "rb").read()
    sectors = len(data) // SECTOR
    out = bytearray(struct.pack("<I", sectors))
    s = 0
    while s < sectors:
        if not any(data[s * SECTOR:(s + 1) * SECTOR]):
            s += 1
            continue
        first = s
        while s < sectors and any(data[s * SECTOR:(s + 1) * SECTOR]) and (s - first + 1) * SECTOR <= 65535:
            s += 1
        chunk = data[first * SECTOR:s * SECTOR]
        out += struct.pack("<IH", first, len(chunk)) + chunk
    return bytes(out)


def fake_jpeg(length, seed):
    body = bytes((seed * 31 + i * 7) % 251 for i in range(length - 4))
    return b"\xff\xd8" + body.replace(b"\xff\xd9", b"\xff\x00") + b"\xff\xd9"


def fake_gif(length, seed):
    body = bytes((seed * 13 + i * 5) % 251 for i in range(length - 7))
    return b"GIF89a" + body.replace(b"\x00\x3b", b"\x00\x00") + b"\x3b"


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    with tempfile.TemporaryDirectory() as tmp:
        img = lambda name: os.path.join(tmp, name)

        # Geometry: one volume of each kind, and a card with a partition table.
        for name, bits, sectors, cluster in (("fat12", 12, 2880, 0), ("fat16", 16, 8400, 1), ("fat32", 32, 66600, 1)):
            blank(img(name), sectors)
            run("mkfs.vfat", "-F", str(bits), *(["-s", str(cluster)] if cluster else []), "-i", "4b454c56", img(name))
            run("mcopy", "-i", img(name), os.path.join(HERE, "make_seeds.py"), "::/NOTES.TXT")
            write("volume_geometry_fuzzer", name + "_volume", geometry_seed(img(name)))
        blank(img("exfat"), 8192)
        run("mkfs.exfat", img("exfat"))
        write("volume_geometry_fuzzer", "exfat_volume", geometry_seed(img("exfat")))

        part = img("part")
        blank(part, 4000)
        run("mkfs.vfat", "-F", "12", "-h", "63", "-i", "4b454c56", part)
        card = bytearray(open(part, "rb").read())
        mbr = bytearray(SECTOR)
        mbr[446:462] = bytes([0x80, 0xFE, 0xFF, 0xFF, 0x01, 0xFE, 0xFF, 0xFF]) + struct.pack("<II", 63, 4000)
        mbr[462:478] = bytes([0x00, 0xFE, 0xFF, 0xFF, 0x05, 0xFE, 0xFF, 0xFF]) + struct.pack("<II", 4063, 100)
        mbr[510:512] = b"\x55\xaa"
        with open(img("mbr"), "wb") as f:
            f.write(bytes(mbr) + bytes(62 * SECTOR) + bytes(card) + bytes(100 * SECTOR))
        write("volume_geometry_fuzzer", "mbr_card", geometry_seed(img("mbr")))

        # Scans: flags (bit 0: 9x, bit 1: an unreadable sector), count adjustment, that sector,
        # then the volume.
        volume = bytearray(48 * SECTOR)
        photos = [(0, fake_jpeg(900, 1)), (2, fake_gif(300, 2)), (3, fake_jpeg(3000, 3)), (47, fake_jpeg(512, 4))]
        for sector, data in photos:
            volume[sector * SECTOR:sector * SECTOR + len(data)] = data
        write("scan_fuzzer", "photos_nt", bytes([0, 0, 0]) + volume)
        write("scan_fuzzer", "photos_9x", bytes([1, 0, 0]) + volume)
        write("scan_fuzzer", "photos_bad_sector_past_end", bytes([2, 20, 4]) + volume)
        write("scan_fuzzer", "photos_short_count", bytes([3, 256 - 10, 1]) + volume)

        # A real card: photos copied in, then deleted.
        blank(img("card"), 120)
        run("mkfs.vfat", "-F", "12", "-s", "1", "-i", "4b454c56", img("card"))
        for i, data in enumerate((fake_jpeg(5000, 5), fake_gif(700, 6), fake_jpeg(9000, 7))):
            with open(img("photo"), "wb") as f:
                f.write(data)
            run("mcopy", "-i", img("card"), img("photo"), "::/PHOTO%d.%s" % (i, "GIF" if i == 1 else "JPG"))
        run("mdel", "-i", img("card"), "::/PHOTO*.*")
        write("scan_fuzzer", "deleted_photos_card", bytes([0, 0, 0]) + open(img("card"), "rb").read())

        # End markers: the marker pick, then the buffer.
        write("end_marker_fuzzer", "jpeg_tail", bytes([0, 0]) + fake_jpeg(700, 8) + bytes(40))
        write("end_marker_fuzzer", "gif_tail", bytes([1, 0]) + fake_gif(300, 9) + b"\xff\xd9" + bytes(9))
        write("end_marker_fuzzer", "marker_in_header", bytes([0, 0]) + b"\x00\x00\xff\xd9\x00\x00\x00")


if __name__ == "__main__":
    sys.exit(main())
