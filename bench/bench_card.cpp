#include "bench/bench_card.h"

#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <span>
#include <vector>

#include "tests/support/fat_image.h"

namespace kelvara::bench {

void FillCardImage(const std::string& path, std::int64_t mebibytes) {
    testing::MakeFatImage(path, 32, mebibytes * 2048, 8);
    const auto geometry = testing::ReadGeometryWithMinfo(path);
    std::mt19937_64 random(1);
    std::vector<std::uint8_t> chunk(1 << 20);
    const std::int64_t end = mebibytes << 20;
    for (std::int64_t at = geometry.dataStartSector * 512; at < end; at += static_cast<std::int64_t>(chunk.size())) {
        for (std::size_t i = 0; i < chunk.size(); i += 8) {
            const std::uint64_t value = random();
            std::memcpy(chunk.data() + i, &value, 8);
        }
        for (std::size_t s = 0; s < chunk.size(); s += 512) {
            if (chunk[s] == 0xFF && chunk[s + 1] == 0xD8) chunk[s] = 0;  // only the planted photos count
            if ((at + static_cast<std::int64_t>(s)) % (512 * 5003) == 0) {
                chunk[s] = 0xFF;
                chunk[s + 1] = 0xD8;
            }
        }
        const auto length = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(chunk.size()), end - at));
        testing::WriteBytesAt(path, at, std::span(chunk.data(), length));
    }
}

std::string CardFromArguments(int argc, char** argv, const std::string& folder) {
    std::string image;
    std::int64_t mebibytes = 1024;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--size-mib" && i + 1 < argc)
            mebibytes = std::stoll(argv[++i]);
        else
            image = argument;
    }
    if (image.empty()) {
        image = folder + "/bench.img";
        std::printf("making a %lld MiB FAT32 image...\n", static_cast<long long>(mebibytes));
        FillCardImage(image, mebibytes);
    }
    WarmUp(image);
    return image;
}

double SecondsOf(const std::string& command) {
    QElapsedTimer timer;
    timer.start();
    QProcess::execute("sh", {"-c", QString::fromStdString(command)});
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double BestOfThree(const std::function<double()>& run) {
    double best = 1e300;
    for (int i = 0; i < 3; ++i) best = std::min(best, run());
    return best;
}

void WarmUp(const std::string& path) { SecondsOf("cat '" + path + "' > /dev/null"); }

}  // namespace kelvara::bench
