#pragma once
// Files of the formats besides JPEG and GIF as cameras and phones lay them out, for the tests
// and the benchmarks: RAW files and a Fujifilm RAF written byte by byte, JPEGs carrying what
// their metadata declares after the image (a maker note's preview, a motion photo's clip), and
// files made by Debian's tools (ffmpeg, heif-enc, libtiff's tools) where they are installed.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/test_photos.h"

namespace kelvara::testing {

// `length` bytes of sensor noise, the same for the same seed.
Bytes Noise(std::size_t length, std::uint32_t seed);

struct RawRecipe {
    std::array<std::uint8_t, 4> magic{'I', 'I', 42, 0};  // "IIRO" for ORF, "IIU\0" for RW2
    bool cr2 = false;                                    // Canon's "CR" after the header
    std::string make, model;
    bool dng = false;
    Bytes preview, thumbnail;   // JPEGs: the one a viewer shows, and a small one
    std::size_t rawBytes = 0;   // the RAW data: a lossless JPEG in two strips (at least 6 bytes)
    std::uint32_t noise = 0;    // its bytes: noise of this seed, or 0x5A throughout when 0
    std::string date = "2019:07:14 08:09:10";
};
struct RawFile {
    Bytes bytes;
    std::uint64_t previewAt = 0, previewLength = 0;
    std::uint64_t rawAt = 0;  // where the RAW data starts
};
// The header, the first directory (make, model, DNG version where it is one, SubIFDs, EXIF)
// with its texts right after it, so the head names the camera; then the EXIF directory and its
// date, the preview and the RAW data with the SubIFDs that point at them, and the thumbnail in
// the second directory.
RawFile MakeRawFile(const RawRecipe& recipe);

// A Fujifilm RAF: its header, the JPEG, the CFA header and `rawBytes` of noise of `seed`.
Bytes MakeRafFile(const Bytes& jpeg, std::size_t rawBytes, std::uint32_t seed);

// A JPEG with these APP segments (each payload after its marker and length) after its start.
Bytes WithAppSegments(const Bytes& jpeg, const std::vector<Bytes>& payloads, std::uint8_t marker = 0xE1);
// An Exif APP1 payload: the camera's make, DateTimeOriginal and a maker note.
Bytes ExifPayload(const std::string& make, const Bytes& makerNote, const std::string& date = "2020:02:29 23:59:58");
// An XMP APP1 payload whose description has these attributes (or, after a ">", elements).
Bytes XmpPayload(const std::string& description);
// A motion photo as Google's cameras write it: the JPEG, its XMP giving the clip's length as
// MicroVideoOffset, and the MP4 right after the image.
Bytes MakeMotionPhoto(const Bytes& jpeg, const Bytes& mp4, const std::string& date = "2022:08:09 10:11:12");

// A camera's JPEG (in a PENTAX's layout, or a KONICA MINOLTA's) whose maker note places a larger
// preview right after the image's end, where the preview then lies; a Minolta's starts 02 D8 FF,
// as that camera writes it.
Bytes MakeJpegWithMakerNotePreview(const Bytes& jpeg, const Bytes& preview, const std::string& date = "2020:02:29 23:59:58",
                                   const std::string& make = "PENTAX");

// A file as a camera or phone wrote it onto its card: its bytes, the extension Kelvara names it
// by, and when it was taken as its own metadata says ("2019:07:14 08:09:10", the camera's local
// time; with a "Z" after it, UTC; empty where it says nothing).
struct FormatFile {
    std::string extension;
    Bytes bytes;
    std::string taken;
};
// One file of every kind today's cameras and phones write, small: JPEGs (one carrying a maker
// note's preview after its image, a motion photo), a GIF, PNG, the RAW formats, RAF; and where
// Debian's tools are installed (made in `scratch`), HEIC, AVIF, WebP, TIFF, MP4, MOV and AVI. The
// DNG carries a chance FF D8 at a sector's start in its RAW data, 1024 bytes into it; the MOV one
// in its media data, followed by what looks like a frame and a scan.
std::vector<FormatFile> EveryFormatFiles(const std::string& scratch);

// Whether a tool is on the PATH.
bool HasTool(const std::string& tool);
// The file `name` that `command` makes, run in `folder`; empty when the tool is missing or fails.
Bytes ToolFile(const std::string& folder, const std::string& name, const std::string& command);

}  // namespace kelvara::testing
