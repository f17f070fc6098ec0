// A card image served through FUSE as MOUNTPOINT/card.img, read-only, for the command-line tests:
// reads that touch chosen sectors fail with EIO, as a worn card's do, and a signal can be sent to
// the reader when it reaches a chosen byte, after which the bytes it is still served are counted.
//
//   kelvara-test-fuse-card IMAGE MOUNTPOINT [--eio FIRST COUNT]... [--signal SIG OFFSET HIT COUNT_FILE]
//                          [--vanish OFFSET] [--rate MB_PER_S] [--served FILE]
//
// --eio       sectors FIRST to FIRST + COUNT - 1 cannot be read
// --signal    the HIT-th read that reaches byte OFFSET sends signal SIG to the reading process;
//             from then on the bytes served are written to COUNT_FILE after every read
// --vanish    the first read that reaches byte OFFSET ends the server at once, as a card taken out
//             of its reader ends its device
// --rate      bytes are served no faster than MB_PER_S megabytes a second, as a card reader gives
//             them (the reads wait their turn: no page cache lies between, every read is served here)
// --served    after every read, FILE holds the bytes served so far: what the reader asked the card for
// Runs in the foreground until it is sent SIGTERM, which unmounts it. Needs root and /dev/fuse.

#define FUSE_USE_VERSION 31
#include <fcntl.h>
#include <fuse.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Range {
    off_t first, end;  // bytes
};

int backing = -1;
off_t size = 0;
std::vector<Range> unreadable;
int signalNumber = 0;
off_t signalAt = 0;
int hitsLeft = 0;
bool signalled = false;
off_t vanishAt = -1;
long long servedAfter = 0;
std::string countFile;
double bytesPerSecond = 0;
std::chrono::steady_clock::time_point readerFree{};
int servedFile = -1;
long long served = 0;

// A reader gives its bytes at its rate: each read waits until the ones before it are through.
void Pace(ssize_t bytes) {
    if (bytesPerSecond <= 0 || bytes <= 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (readerFree < now) readerFree = now;
    readerFree += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(static_cast<double>(bytes) / bytesPerSecond));
    std::this_thread::sleep_until(readerFree);
}

void CountServed(ssize_t bytes) {
    if (servedFile < 0 || bytes <= 0) return;
    served += bytes;
    char line[32];
    const int length = std::snprintf(line, sizeof line, "%lld\n", served);
    if (::pwrite(servedFile, line, static_cast<size_t>(length), 0) < 0) std::perror("--served");
}

constexpr const char* kName = "/card.img";

int GetAttr(const char* path, struct stat* info, fuse_file_info*) {
    std::memset(info, 0, sizeof *info);
    if (std::strcmp(path, "/") == 0) {
        info->st_mode = S_IFDIR | 0755;
        info->st_nlink = 2;
        return 0;
    }
    if (std::strcmp(path, kName) != 0) return -ENOENT;
    info->st_mode = S_IFREG | 0444;
    info->st_nlink = 1;
    info->st_size = size;
    return 0;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags) {
    if (std::strcmp(path, "/") != 0) return -ENOENT;
    fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    fill(buffer, kName + 1, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    return 0;
}

int Open(const char* path, fuse_file_info* file) {
    if (std::strcmp(path, kName) != 0) return -ENOENT;
    if ((file->flags & O_ACCMODE) != O_RDONLY) return -EACCES;
    file->direct_io = 1;  // every read reaches here as asked: a failed sector fails alone
    return 0;
}

int Read(const char*, char* buffer, size_t length, off_t offset, fuse_file_info*) {
    const off_t end = offset + static_cast<off_t>(length);
    if (vanishAt >= 0 && end > vanishAt) ::_exit(0);
    for (const Range& range : unreadable)
        if (offset < range.end && range.first < end) return -EIO;
    if (signalNumber && !signalled && offset <= signalAt && signalAt < end && --hitsLeft == 0) {
        signalled = true;
        ::kill(fuse_get_context()->pid, signalNumber);
    }
    const ssize_t got = ::pread(backing, buffer, length, offset);
    if (got < 0) return -errno;
    Pace(got);
    CountServed(got);
    if (signalled) {
        servedAfter += got;
        if (FILE* out = std::fopen(countFile.c_str(), "w")) {
            std::fprintf(out, "%lld\n", servedAfter);
            std::fclose(out);
        }
    }
    return static_cast<int>(got);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s IMAGE MOUNTPOINT [--eio FIRST COUNT]... [--signal SIG OFFSET HIT FILE]\n", argv[0]);
        return 2;
    }
    backing = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    if (backing < 0) {
        std::perror(argv[1]);
        return 1;
    }
    size = ::lseek(backing, 0, SEEK_END);
    for (int i = 3; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--eio" && i + 2 < argc) {
            const off_t first = std::atoll(argv[i + 1]) * 512;
            unreadable.push_back({first, first + std::atoll(argv[i + 2]) * 512});
            i += 2;
        } else if (option == "--signal" && i + 4 < argc) {
            signalNumber = std::atoi(argv[i + 1]);
            signalAt = std::atoll(argv[i + 2]);
            hitsLeft = std::atoi(argv[i + 3]);
            countFile = argv[i + 4];
            i += 4;
        } else if (option == "--vanish" && i + 1 < argc) {
            vanishAt = std::atoll(argv[++i]);
        } else if (option == "--rate" && i + 1 < argc) {
            bytesPerSecond = std::atof(argv[++i]) * 1e6;
        } else if (option == "--served" && i + 1 < argc) {
            servedFile = ::open(argv[++i], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (servedFile < 0) {
                std::perror(argv[i]);
                return 1;
            }
        } else {
            std::fprintf(stderr, "unknown option %s\n", option.c_str());
            return 2;
        }
    }
    fuse_operations operations{};
    operations.getattr = GetAttr;
    operations.readdir = ReadDir;
    operations.open = Open;
    operations.read = Read;
    char* fuseArgs[] = {argv[0], argv[2], const_cast<char*>("-f"), const_cast<char*>("-s"), nullptr};
    return fuse_main(4, fuseArgs, &operations, nullptr);
}
