#!/usr/bin/env python3
"""Writes the seed corpus of format_walker_fuzzer: small real files made with ffmpeg, heif-enc
and libtiff's tools, RAW layouts and hostile structures written with struct. Each seed is one
byte (the size of the pieces the fuzzer hands out; 0 for all at once) and the file. Run by hand
when the formats change; the seeds are committed."""

import os
import struct
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "format_walker_fuzzer")
CLIP = ["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=5", "-t", "1"]


def made(tmp, name, *argv):
    subprocess.run(argv, check=True, cwd=tmp, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return open(os.path.join(tmp, name), "rb").read()


def tiff(entries_of, blobs):
    """A little-endian TIFF: blobs after the header, then one directory of (tag, type, count, value)
    entries; value callables get the blob offsets."""
    out = bytearray(b"II*\0\0\0\0\0")
    offsets = []
    for blob in blobs:
        offsets.append(len(out))
        out += blob + (b"\0" if len(blob) % 2 else b"")
    entries = sorted(entries_of(offsets))
    ifd = len(out)
    out += struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        out += struct.pack("<HHII", tag, kind, count, value)
    out += struct.pack("<I", 0)
    out[4:8] = struct.pack("<I", ifd)
    return bytes(out)


def box(kind, payload, large=False):
    if large:
        return struct.pack(">I4sQ", 1, kind, len(payload) + 16) + payload
    return struct.pack(">I4s", len(payload) + 8, kind) + payload


def main():
    os.makedirs(OUT, exist_ok=True)
    seeds = {}
    with tempfile.TemporaryDirectory() as tmp:
        png = made(tmp, "a.png", *CLIP[:-2], "-frames:v", "1", "a.png")
        jpeg = made(tmp, "a.jpg", "ffmpeg", "-v", "error", "-y", "-i", "a.png", "a.jpg")
        seeds["png"] = png
        seeds["webp"] = made(tmp, "a.webp", "ffmpeg", "-v", "error", "-y", "-i", "a.png", "a.webp")
        seeds["avi"] = made(tmp, "a.avi", *CLIP, "-c:v", "mjpeg", "a.avi")
        seeds["mp4"] = made(tmp, "a.mp4", *CLIP, "-metadata", "creation_time=2021-06-05T10:20:30Z", "a.mp4")
        seeds["mov"] = made(tmp, "a.mov", *CLIP, "a.mov")
        seeds["heic"] = made(tmp, "a.heic", "heif-enc", "-q", "30", "a.jpg", "-o", "a.heic")
        seeds["avif"] = made(tmp, "a.avif", "heif-enc", "-A", "a.jpg", "-o", "a.avif")
        seeds["tif"] = made(tmp, "a.tif", "ffmpeg", "-v", "error", "-y", "-i", "a.png", "a.tif")
        seeds["tiled_tif"] = made(tmp, "t.tif", "tiffcp", "-t", "-w", "16", "-l", "16", "a.tif", "t.tif")
        seeds["jpeg_tif"] = made(tmp, "j.tif", "tiffcp", "-c", "jpeg", "-r", "16", "a.tif", "j.tif")

    # A DNG-like layout: make, DNG version, a JPEG strip, and an EXIF directory with a date.
    exif_date = b"2019:07:14 08:09:10\0"
    seeds["dng"] = tiff(lambda o: [(0x10F, 2, 6, o[0]), (0xC612, 1, 4, 0x0401), (0x103, 3, 1, 7),
                                   (0x111, 4, 1, o[1]), (0x117, 4, 1, len(jpeg)), (0x8769, 4, 1, o[2])],
                        [b"Canon\0", jpeg, struct.pack("<HHHII", 1, 0x9003, 2, 20, 0) + b"\0\0\0\0" + exif_date])
    # Hostile: the directory is its own next, a SubIFD is its own parent, a billion strips.
    loop = bytearray(tiff(lambda o: [(0x111, 4, 1, 8), (0x117, 4, 1, 8)], []))
    loop[-4:] = loop[4:8]
    seeds["tiff_loop"] = bytes(loop)
    seeds["tiff_self_sub"] = tiff(lambda o: [(0x14A, 4, 1, 8)], [])
    seeds["tiff_huge_count"] = tiff(lambda o: [(0x111, 4, 1 << 30, 8), (0x117, 4, 1 << 30, 8)], [])

    raf = bytearray(b"FUJIFILMCCD-RAW 0201FF383501".ljust(108, b"\0"))
    raf[84:108] = struct.pack(">6I", 108, len(jpeg), 108 + len(jpeg), 16, 124 + len(jpeg), 400)
    seeds["raf"] = bytes(raf) + jpeg + bytes(416)

    ftyp = box(b"ftyp", b"isom\0\0\2\0isommp41")
    moov = box(b"moov", box(b"mvhd", bytes(100)))
    seeds["iso_large_size"] = ftyp + box(b"mdat", bytes(300), large=True) + moov
    seeds["iso_zero_size"] = ftyp + moov + struct.pack(">I4s", 0, b"mdat") + bytes(100)
    seeds["iso_huge_size"] = ftyp + moov + struct.pack(">I4sQ", 1, b"mdat", (1 << 64) - 1)

    xmp = (b"http://ns.adobe.com/xap/1.0/\0<rdf:Description GCamera:MicroVideo=\"1\" "
           b"GCamera:MicroVideoOffset=\"%d\"/>" % len(seeds["mp4"]))
    seeds["motion_photo"] = (jpeg[:2] + struct.pack(">BBH", 0xFF, 0xE1, len(xmp) + 2) + xmp + jpeg[2:] +
                             seeds["mp4"])

    for name, data in seeds.items():
        for piece in (0, 7):
            blob = bytes([piece]) + data
            if len(blob) <= 65536:
                with open(os.path.join(OUT, f"{name}_{piece}"), "wb") as f:
                    f.write(blob)


if __name__ == "__main__":
    main()
