// How the cost of saving a card crafted against the photo walkers grows with the card: each
// hostile card is made at 1, 2, 4, 8 and 16 MiB and saved with kelvara-cli; the processor time
// of each save (user, of the child, best of three) and its ratio to the half-size
// card are printed. A walker linear in what it reads doubles; over 2.5 a doubling is flagged.
//
//   bin/kelvara-hostile-bench [--largest-mib N]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/hostile_cards.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_photos.h"

namespace {

using namespace kelvara;
using Bytes = std::vector<std::uint8_t>;

// The processor seconds (user) a save of `image` into a new folder takes. The system's time is
// left out: it is the file system making thousands of files, which grows with its own load.
double SaveSeconds(const std::string& cli, const std::string& image, const std::string& out) {
    std::filesystem::remove_all(out);
    const pid_t child = ::fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execl(cli.c_str(), cli.c_str(), "save", "--quiet", image.c_str(), out.c_str(), static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t largest = 16;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--largest-mib") largest = std::stoul(argv[++i]);
    const std::string cli = std::filesystem::absolute(argv[0]).parent_path().string() + "/kelvara-cli";
    struct Card {
        const char* name;
        std::function<Bytes(std::size_t sectors)> make;
    };
    const Card cards[] = {
        {"APP1 segments hopping to the card's end", [](std::size_t s) { return testing::HoppingJpegCard(s); }},
        {"GIF sub-blocks chained to the card's end", [](std::size_t s) { return testing::ChainedGifCard(s); }},
        {"100 JPEGs declaring a preview at the card's end", [](std::size_t s) { return testing::FarPreviewCard(s, 100); }},
        {"FF D8 FF in every sector", [](std::size_t s) { return testing::SignatureEverywhereCard(s); }},
        {"a PNG in every sector declaring a 0x7FFFFFF0-byte chunk",
         [](std::size_t s) { return testing::PngChunkEverywhereCard(s, 0x7FFFFFF0); }},
        {"a PNG in every sector declaring a chunk of half the card",
         [](std::size_t s) { return testing::PngChunkEverywhereCard(s, static_cast<std::uint32_t>(s * 256)); }},
    };
    testing::TempDir dir;
    const std::string image = dir.file("card.img"), out = dir.file("out");
    int flagged = 0;
    for (const Card& card : cards) {
        std::printf("%s\n", card.name);
        double before = 0, first = 0;
        for (std::size_t mib = 1; mib <= largest; mib *= 2) {
            testing::WriteFileBytes(image, card.make(mib * 2048));
            double best = 1e30;
            for (int run = 0; run < 3; ++run) best = std::min(best, SaveSeconds(cli, image, out));
            const double ratio = before > 0.005 ? best / before : 0;
            // Below a tenth of a second the ratio is the machine's noise, not the walker's.
            const bool over = ratio > 2.5 && best > 0.1;
            flagged += over;
            if (ratio > 0)
                std::printf("  %3zu MiB: %7.3f s  x%.2f%s\n", mib, best, ratio, over ? "  (more than linear)" : "");
            else
                std::printf("  %3zu MiB: %7.3f s\n", mib, best);
            if (first == 0) first = best;
            before = best;
        }
        std::printf("  1 to %zu MiB: x%.1f (linear: x%zu)\n", largest, before / std::max(first, 1e-3), largest);
    }
    std::printf("%d doublings grew more than 2.5 times\n", flagged);
    return 0;
}
