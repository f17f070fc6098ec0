#pragma once
// Photos made on the spot for the tests and the demo card: JPEGs drawn with QImage, and
// small GIF89a files written byte by byte (Qt writes no GIF). A program without a Qt
// application gets one on the offscreen platform for the drawing.

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/photo_runs.h"  // MakePhotoRun

namespace kelvara::testing {

using Bytes = std::vector<std::uint8_t>;

// A JPEG of the given size whose picture depends on `seed`.
Bytes MakeJpeg(int width, int height, int seed, int quality = 85);

// A JPEG carrying a small JPEG thumbnail in an APP1 segment, as cameras write them: FF D8
// and FF D9 then also appear inside the photo. The thumbnail starts `thumbnailAt` bytes into
// the file (at least 12); at 512 it starts a sector, where a scan takes it for a photo.
Bytes MakeJpegWithThumbnail(int width, int height, int seed, std::size_t thumbnailAt = 12);

// A progressive JPEG: several scans, with tables between them.
Bytes MakeProgressiveJpeg(int width, int height, int seed);

// A JPEG whose entropy-coded data holds restart markers (FF D0 to FF D7) and stuffed FF 00
// bytes, and FF D9 pairs in a comment, built segment by segment: a camera's structure, though
// its picture does not decode.
Bytes MakeJpegWithRestarts(int seed, int intervals);

// A photo with a larger preview image after its end, declared in an APP2 Multi-Picture index,
// as cameras write them.
Bytes MakeJpegWithPreview(int width, int height, int seed);

// A PNG of the given size, as a phone's screenshot: the picture of MakeJpeg, without loss.
Bytes MakePng(int width, int height, int seed);

// A GIF89a of the given size in four colours whose picture depends on `seed`; it ends in 00 3B.
Bytes MakeGif89a(int width, int height, int seed);

// A GIF89a of several frames, each with its graphic control extension, after a looping
// application extension and a comment.
Bytes MakeAnimatedGif89a(int width, int height, int seed, int frames);

void WriteFileBytes(const std::string& path, const Bytes& bytes);
Bytes ReadFileBytes(const std::string& path);

}  // namespace kelvara::testing
