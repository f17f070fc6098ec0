#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets from real volumes made with mkfs.vfat,
mkfs.exfat and mtools. Run by hand when the input formats change; the seeds are committed."""

import os
import struct
import subprocess
import sys
import tempfile
import zlib

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


FRAME_AND_SCAN = bytes([0xFF, 0xC0, 0, 11, 8, 0, 16, 0, 16, 1, 1, 0x11, 0, 0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 63, 0])


def tiny_jpeg(length, seed, segments=b""):
    """A JPEG whose structure holds: segments, a frame and a scan header, data, its end."""
    head = b"\xff\xd8" + segments + FRAME_AND_SCAN
    body = bytes(1 + (i * 13 + seed) % 200 for i in range(len(head), length - 2))
    return head + body + b"\xff\xd9"


def app2(payload):
    return b"\xff\xe2" + struct.pack(">H", len(payload) + 2) + payload


def multi_picture(images, more_tags=0):
    """An APP2 Multi-Picture index: the photo's own entry, then (size, offset) of each image,
    offsets counting from the index's header 8 bytes into the segment."""
    tags = 1 + more_tags
    entries_at = 8 + 2 + 12 * tags + 4
    entries = 16 * (len(images) + 1)
    out = b"MPF\0II*\0" + struct.pack("<IH", 8, tags)
    out += struct.pack("<HHII", 0xB002, 7, entries, entries_at) * tags + struct.pack("<I", 0)
    out += struct.pack("<IIII", 0x20030000, 0, 0, 0)
    for size, offset in images:
        out += struct.pack("<IIII", 0x00010001, size, offset, 0)
    return app2(out)


def hopping_card(sectors, hop):
    """Every sector starts a JPEG whose APP1 segments hop `hop` sectors on to the card's end."""
    card = bytearray(b"\x20" * (sectors * SECTOR))
    length = SECTOR * hop - 2
    for s in range(sectors):
        at = s * SECTOR
        card[at:at + 2] = b"\xff\xd8"
        tail = b"\xff\xe1" + struct.pack(">H", length) if s + hop < sectors else FRAME_AND_SCAN + b"\x09" * 4 + b"\xff\xd9"
        card[at + 2:at + 2 + len(tail)] = tail
    return bytes(card)


def chained_gif_card(sectors):
    """Every sector starts a GIF89a whose image sub-blocks chain on to one trailer at the end."""
    card = bytearray(b"\x41" * (sectors * SECTOR))
    header = b"GIF89a" + bytes([16, 0, 16, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 16, 0, 16, 0, 0, 2])
    for s in range(sectors):
        at = s * SECTOR
        card[at:at + len(header)] = header
        card[at + 24] = card[at + 280] = 255
    card[(sectors - 1) * SECTOR + 280:(sectors - 1) * SECTOR + 282] = b"\x00\x3b"
    return bytes(card)


def far_preview_card(sectors, count):
    """Small JPEGs one after another, each declaring the JPEG at the card's end its preview."""
    card = bytearray(sectors * SECTOR)
    far = (sectors - 8) * SECTOR
    card[far:far + 8 * SECTOR] = tiny_jpeg(8 * SECTOR, 99)
    for i in range(count):
        at = i * 2 * SECTOR
        card[at:at + 900] = tiny_jpeg(900, i, multi_picture([(8 * SECTOR, far - (at + 10))]))
    return bytes(card)


def iso_box(kind, payload):
    return struct.pack(">I4s", len(payload) + 8, kind) + payload


def tiny_clip(data_length, seed):
    """An MP4 as its boxes lay it out: ftyp, a movie header of 2 s and a 64x48 track, its samples."""
    movie = struct.pack(">IIIII", 0, 0, 0, 1000, 2000).ljust(100, b"\0")
    track = bytearray(84)
    track[76:84] = struct.pack(">II", 64 << 16, 48 << 16)
    moov = iso_box(b"moov", iso_box(b"mvhd", movie) + iso_box(b"trak", iso_box(b"tkhd", bytes(track))))
    body = bytes(1 + (i * 7 + seed) % 250 for i in range(data_length))
    return iso_box(b"ftyp", b"isom\0\0\2\0isommp41") + moov + iso_box(b"mdat", body)


def tiny_png(seed):
    def chunk(kind, payload):
        return struct.pack(">I", len(payload)) + kind + payload + struct.pack(">I", zlib.crc32(kind + payload))
    rows = b"".join(b"\0" + bytes((seed + x + y) % 256 for x in range(16)) for y in range(16))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 16, 8, 0, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def tiny_raw(jpeg, raw_length):
    """A DNG's layout: its first directory right after the header names the camera and its JPEG,
    then the JPEG and the RAW data in a strip."""
    entries = 6
    first = 8
    make_at = first + 2 + 12 * entries + 4
    jpeg_at = make_at + 6
    raw_at = jpeg_at + len(jpeg) + len(jpeg) % 2
    out = bytearray(b"II*\0" + struct.pack("<I", first) + struct.pack("<H", entries))
    for tag, kind, count, value in ((0x10F, 2, 6, make_at), (0x111, 4, 1, raw_at), (0x117, 4, 1, raw_length),
                                    (0x201, 4, 1, jpeg_at), (0x202, 4, 1, len(jpeg)), (0xC612, 1, 4, 0x0401)):
        out += struct.pack("<HHII", tag, kind, count, value)
    out += struct.pack("<I", 0) + b"Leica\0" + jpeg + b"\0" * (len(jpeg) % 2)
    out += bytes(1 + (i * 11) % 250 for i in range(raw_length))
    return bytes(out)


def format_card(sectors):
    """Files of the formats besides JPEG and GIF one after another from sector starts, as a phone
    or camera leaves them: a RAW file, a clip with a chance FF D8 at a sector's start in its data,
    a PNG, a motion photo carrying its clip; then old data."""
    card = bytearray(sectors * SECTOR)
    clip = bytearray(tiny_clip(3000, 5))
    chance = (len(clip) - 1500) // SECTOR * SECTOR
    clip[chance:chance + 4] = b"\xff\xd8\xff\xdb"
    xmp = (b"http://ns.adobe.com/xap/1.0/\0<rdf:Description GCamera:MicroVideo=\"1\" "
           b"GCamera:MicroVideoOffset=\"%d\"/>" % len(clip))
    motion = tiny_jpeg(1200, 3, b"\xff\xe1" + struct.pack(">H", len(xmp) + 2) + xmp) + bytes(clip)
    at = 0
    for data in (tiny_raw(tiny_jpeg(1500, 2), 6000), bytes(clip), tiny_png(4), motion, tiny_jpeg(700, 6)):
        card[at:at + len(data)] = data
        at += (len(data) + SECTOR - 1) // SECTOR * SECTOR
    card[at:] = bytes(1 + (i * 13) % 250 for i in range(len(card) - at))
    return bytes(card)


def card_files_seeds(img):
    """Cards for the folder and chain readers: camera folders of photos, some deleted, long names,
    a folder in more than one cluster, and the same card quick-formatted."""
    for name, bits, sectors in (("fat12", 12, 2880), ("fat16", 16, 8400), ("fat32", 32, 66600)):
        card = img(name + "_files")
        blank(card, sectors)
        run("mkfs.vfat", "-F", str(bits), "-s", "1", "-i", "4b454c56", card)
        run("mmd", "-i", card, "::/DCIM", "::/DCIM/100CANON")
        for i in range(20):
            with open(img("photo"), "wb") as f:
                f.write(fake_jpeg(700 + 300 * (i % 4), i))
            target = "IMG_%04d.JPG" % (i + 1) if i % 5 else "Holiday photo %d.jpeg" % i
            run("mcopy", "-i", card, img("photo"), "::/DCIM/100CANON/" + target)
        for i in (i for i in range(1, 20, 3) if i % 5):
            run("mdel", "-i", card, "::/DCIM/100CANON/IMG_%04d.JPG" % (i + 1))
        write("card_files_fuzzer", name + "_camera_folder", geometry_seed(card))
    run("mkfs.vfat", "-F", "32", "-s", "1", "-i", "4b454c56", img("fat32_files"))
    write("card_files_fuzzer", "fat32_quick_formatted", geometry_seed(img("fat32_files")))
    blank(img("exfat"), 8192)
    run("mkfs.exfat", img("exfat"))
    write("card_files_fuzzer", "exfat_volume", geometry_seed(img("exfat")))


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

        # Cards crafted against the walkers, each within the 64 KiB an input may hold.
        write("scan_fuzzer", "hopping_segments", bytes([0, 0, 0]) + hopping_card(120, 37))
        write("scan_fuzzer", "chained_gif", bytes([0, 0, 0]) + chained_gif_card(120))
        write("scan_fuzzer", "far_previews", bytes([0, 0, 0]) + far_preview_card(120, 20))
        write("scan_fuzzer", "signature_everywhere", bytes([0, 0, 0]) + b"\xff\xd8\xff".ljust(SECTOR, b"\0") * 120)
        write("scan_fuzzer", "every_format_card", bytes([0, 0, 0]) + format_card(110))
        write("scan_fuzzer", "every_format_card_9x", bytes([1, 0, 0]) + format_card(110))
        giant = tiny_jpeg(1500, 1, multi_picture([(2400000000, 1500 - 10)])) + tiny_jpeg(1000, 2)
        write("scan_fuzzer", "declared_giant", bytes([0, 0, 0]) + giant.ljust(40 * SECTOR, b"\0"))

        # End markers: the marker pick, then the buffer.
        write("end_marker_fuzzer", "jpeg_tail", bytes([0, 0]) + fake_jpeg(700, 8) + bytes(40))
        write("end_marker_fuzzer", "gif_tail", bytes([1, 0]) + fake_gif(300, 9) + b"\xff\xd9" + bytes(9))
        write("end_marker_fuzzer", "marker_in_header", bytes([0, 0]) + b"\x00\x00\xff\xd9\x00\x00\x00")
        preview = tiny_jpeg(3000, 5)
        photo = tiny_jpeg(2000, 4, multi_picture([(len(preview), 2000 - 10)]))
        write("end_marker_fuzzer", "multi_picture_preview", bytes([0, 0]) + photo + preview)
        alternating = multi_picture([(len(preview), (40000 if i % 2 else 20000) - 10) for i in range(600)])
        write("end_marker_fuzzer", "alternating_index", bytes([0, 0]) + tiny_jpeg(12000, 6, alternating).ljust(45000, b"\0"))
        write("end_marker_fuzzer", "many_index_tags", bytes([0, 0]) + tiny_jpeg(62000, 7, multi_picture([(1000, 60000)], 4990)))
        write("end_marker_fuzzer", "gif_chain", bytes([0, 0]) + chained_gif_card(100))

        card_files_seeds(img)


if __name__ == "__main__":
    sys.exit(main())
