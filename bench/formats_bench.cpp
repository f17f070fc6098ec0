// How fast the format walkers find a large file's end, against reading the same bytes once with
// memchr (the least any reader of every byte costs).
//
//   bin/kelvara-formats-bench [FILE...]
//
// Without files it makes a 200 MB MP4 and a 30 MB DNG laid out as cameras write them (boxes
// and tiles of random data) and, where ffmpeg is installed, a 36 MB PNG of noise (every byte
// of which the PNG walk reads for its CRCs). Each file is walked from memory, best of five.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "formats/format_walkers.h"

namespace {

using namespace kelvara;
using Bytes = std::vector<std::uint8_t>;

void Be32(Bytes& out, std::uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Le32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Le16(Bytes& out, std::uint16_t v) { out.insert(out.end(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)}); }
void Noise(Bytes& out, std::size_t length) {
    std::mt19937_64 random(1);
    const std::size_t start = out.size();
    out.resize(start + length);
    for (std::size_t i = start; i + 8 <= out.size(); i += 8) {
        const std::uint64_t value = random();
        std::memcpy(out.data() + i, &value, 8);
    }
}

Bytes MakeMp4(std::size_t bytes) {
    Bytes out;
    Be32(out, 24), out.insert(out.end(), {'f', 't', 'y', 'p', 'i', 's', 'o', 'm', 0, 0, 2, 0, 'i', 's', 'o', 'm', 'm', 'p', '4', '1'});
    Be32(out, static_cast<std::uint32_t>(bytes + 8)), out.insert(out.end(), {'m', 'd', 'a', 't'});
    Noise(out, bytes);
    Be32(out, 8 + 108), out.insert(out.end(), {'m', 'o', 'o', 'v'});
    Be32(out, 108), out.insert(out.end(), {'m', 'v', 'h', 'd'});
    out.resize(out.size() + 100, 0);
    return out;
}

// A DNG as cameras lay it out: the first directory right after the header (the DNG version, a
// SubIFD), then the tiles of RAW data, their lists, and the SubIFD.
Bytes MakeDng(std::size_t bytes) {
    constexpr std::uint32_t kTile = 64 * 1024, kFirst = 8, kData = kFirst + 2 + 2 * 12 + 4;
    const auto tiles = static_cast<std::uint32_t>(bytes / kTile);
    const std::uint32_t offsets = kData + tiles * kTile, counts = offsets + 4 * tiles, sub = counts + 4 * tiles;
    Bytes out = {'I', 'I', 42, 0, kFirst, 0, 0, 0};
    const auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
        Le16(out, tag), Le16(out, type), Le32(out, count), Le32(out, value);
    };
    Le16(out, 2), entry(0x14A, 4, 1, sub), entry(0xC612, 1, 4, 0x0401), Le32(out, 0);
    Noise(out, std::size_t{tiles} * kTile);
    for (std::uint32_t i = 0; i < tiles; ++i) Le32(out, kData + i * kTile);
    for (std::uint32_t i = 0; i < tiles; ++i) Le32(out, kTile);
    Le16(out, 2), entry(0x144, 4, tiles, offsets), entry(0x145, 4, tiles, counts), Le32(out, 0);
    return out;
}

double BestOfFive(const auto& work) {
    double best = 1e30;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

void Measure(const std::string& name, const Bytes& file) {
    const formats::Head head(file.data(), std::min<std::size_t>(4096, file.size()));
    struct Format {
        formats::Extension (*identify)(formats::Head);
        std::optional<std::uint64_t> (*length)(ByteSource&);
    };
    const Format all[] = {{formats::tiff::Identify, formats::tiff::Length}, {formats::raf::Identify, formats::raf::Length},
                          {formats::iso_media::Identify, formats::iso_media::Length},
                          {formats::png::Identify, formats::png::Length}, {formats::riff::Identify, formats::riff::Length}};
    for (const Format& format : all) {
        const auto extension = format.identify(head);
        if (!extension) continue;
        std::optional<std::uint64_t> length;
        const double walk = BestOfFive([&] {
            MemoryBytes source(file);
            length = format.length(source);
        });
        // Every byte read once: memchr from one of the file's rarest bytes to the next, to the end.
        std::array<std::size_t, 256> histogram{};
        for (const std::uint8_t byte : file) ++histogram[byte];
        const auto rarest = static_cast<std::uint8_t>(std::min_element(histogram.begin(), histogram.end()) - histogram.begin());
        volatile std::size_t found = 0;
        const double scan = BestOfFive([&] {
            const std::uint8_t* at = file.data();
            const std::uint8_t* end = file.data() + file.size();
            std::size_t count = 0;
            while (at < end && (at = static_cast<const std::uint8_t*>(std::memchr(at, rarest, static_cast<std::size_t>(end - at))))) {
                ++count;
                ++at;
            }
            found = count;
        });
        const double mb = static_cast<double>(file.size()) / 1e6;
        std::printf("%-12s %-6s %7.1f MB  length %-10s  walk %9.3f ms (%9.0f MB/s)  memchr %7.3f ms (%6.0f MB/s)  walk/memchr %.4f\n",
                    name.c_str(), std::string(*extension).c_str(), mb,
                    length ? std::to_string(*length).c_str() : "none", walk * 1e3, mb / walk, scan * 1e3, mb / scan, walk / scan);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            std::ifstream in(argv[i], std::ios::binary);
            const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            Measure(argv[i], file);
        }
        return 0;
    }
    Measure("mp4", MakeMp4(200'000'000));
    Measure("dng", MakeDng(30'000'000));
    const std::string png = "/tmp/kelvara-formats-bench.png";
    if (std::system(("ffmpeg -v error -y -f lavfi -i 'nullsrc=s=4000x3000,geq=random(1)*255:random(2)*255:random(3)*255' "
                     "-frames:v 1 " + png + " 2>/dev/null").c_str()) == 0) {
        std::ifstream in(png, std::ios::binary);
        Measure("png", Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
        std::remove(png.c_str());
    } else {
        std::printf("png: ffmpeg not installed, not measured\n");
    }
    return 0;
}
