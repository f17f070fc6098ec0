#include "tests/support/fat_image.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace kelvara::testing {
namespace {

constexpr std::int64_t kSector = 512;
// A fixed volume id keeps images made by the same test byte-identical from run to run.
constexpr const char* kVolumeId = "4B454C56";

struct ToolResult {
    int status = -1;
    std::string output;
};

// The tools live in /usr/sbin, which an ordinary user's PATH may leave out.
std::string FindTool(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = std::string(path ? path : "") + ":/usr/sbin:/sbin:/usr/bin:/bin";
    std::istringstream list(folders);
    std::string folder;
    while (std::getline(list, folder, ':')) {
        if (folder.empty()) continue;
        const std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// Runs a tool with its output (both streams) captured; no shell, so no quoting to get wrong.
ToolResult Run(const std::vector<std::string>& argv) {
    ToolResult result;
    const std::string program = FindTool(argv.at(0));
    if (program.empty()) {
        result.status = 127;
        result.output = argv[0] + ": not installed";
        return result;
    }
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);

    // mtools refuses images whose size is not a whole number of its guessed tracks.
    std::vector<std::string> environment = {"MTOOLS_SKIP_CHECK=1", "LC_ALL=C"};
    for (char** variable = environ; *variable; ++variable) environment.emplace_back(*variable);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> arguments = argv;
    std::vector<char*> args;
    for (std::string& argument : arguments) args.push_back(argument.data());
    args.push_back(nullptr);

    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, program.c_str(), &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (spawned != 0) {
        ::close(pipeEnds[0]);
        result.status = 127;
        result.output = argv[0] + ": " + std::strerror(spawned);
        return result;
    }
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(pipeEnds[0], buffer, sizeof buffer)) != 0) {
        if (got < 0) {
            if (errno == EINTR) continue;
            break;
        }
        result.output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    return result;
}

std::string RunOrThrow(const std::vector<std::string>& argv) {
    ToolResult result = Run(argv);
    if (result.status != 0) {
        std::string command;
        for (const std::string& a : argv) command += (command.empty() ? "" : " ") + a;
        throw std::runtime_error(command + " failed (" + std::to_string(result.status) + "): " + result.output);
    }
    return result.output;
}

void MakeZeroFile(const std::string& path, std::int64_t bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    const int result = ::ftruncate(fd, bytes);
    ::close(fd);
    if (result != 0) throw std::runtime_error("cannot size " + path + ": " + std::strerror(errno));
}

void FormatFat(const std::string& path, int fatBits, int sectorsPerCluster, std::int64_t hiddenSectors,
               int bytesPerSector = 512) {
    std::vector<std::string> argv = {"mkfs.vfat", "-i", kVolumeId};
    if (bytesPerSector != 512) argv.insert(argv.end(), {"-S", std::to_string(bytesPerSector)});
    if (fatBits != 0) argv.insert(argv.end(), {"-F", std::to_string(fatBits)});
    if (sectorsPerCluster != 0) argv.insert(argv.end(), {"-s", std::to_string(sectorsPerCluster)});
    if (hiddenSectors != 0) argv.insert(argv.end(), {"-h", std::to_string(hiddenSectors)});
    argv.push_back(path);
    RunOrThrow(argv);
}

// The first whole number after `label` in a tool's output; -1 when the label is missing.
std::int64_t NumberAfter(const std::string& text, const std::string& label) {
    const std::size_t at = text.find(label);
    if (at == std::string::npos) return -1;
    std::size_t digit = at + label.size();
    while (digit < text.size() && !std::isdigit(static_cast<unsigned char>(text[digit]))) {
        if (text[digit] == '\n') return -1;
        ++digit;
    }
    std::int64_t value = 0;
    while (digit < text.size() && std::isdigit(static_cast<unsigned char>(text[digit])))
        value = value * 10 + (text[digit++] - '0');
    return value;
}

std::vector<std::string> FoldersOf(const std::string& imagePath) {
    // "::/DCIM/100CANON/IMG_0001.JPG" -> "::/DCIM", "::/DCIM/100CANON"
    std::vector<std::string> folders;
    for (std::size_t slash = imagePath.find('/', 3); slash != std::string::npos; slash = imagePath.find('/', slash + 1))
        folders.push_back(imagePath.substr(0, slash));
    return folders;
}

}  // namespace

void MakeFatImage(const std::string& path, int fatBits, std::int64_t sectors, int sectorsPerCluster, int bytesPerSector) {
    MakeZeroFile(path, sectors * kSector);
    FormatFat(path, fatBits, sectorsPerCluster, 0, bytesPerSector);
}

bool MakeExfatImage(const std::string& path, std::int64_t sectors) {
    if (FindTool("mkfs.exfat").empty()) return false;
    MakeZeroFile(path, sectors * kSector);
    RunOrThrow({"mkfs.exfat", path});
    return true;
}

void MakeMbrImage(const std::string& path, std::int64_t totalSectors,
                  const std::vector<std::pair<std::int64_t, std::int64_t>>& partitions, int fatBits) {
    if (partitions.size() > 4) throw std::invalid_argument("an MBR holds at most four partitions");
    MakeZeroFile(path, totalSectors * kSector);
    std::vector<std::uint8_t> mbr(kSector, 0);
    for (std::size_t i = 0; i < partitions.size(); ++i) {
        const auto [first, count] = partitions[i];
        if (first < 1 || count < 1 || first + count > totalSectors)
            throw std::invalid_argument("partition " + std::to_string(i + 1) + " does not fit the image");
        const std::string part = path + ".part" + std::to_string(i + 1);
        MakeZeroFile(part, count * kSector);
        FormatFat(part, fatBits, 0, first);
        const auto bytes = ReadBytesAt(part, 0, static_cast<std::size_t>(count * kSector));
        std::remove(part.c_str());
        WriteBytesAt(path, first * kSector, bytes);

        const std::size_t at = 446 + 16 * i;
        const bool fat32 = bytes.size() > 90 && std::memcmp(bytes.data() + 82, "FAT32", 5) == 0;
        const bool fat12 = bytes.size() > 60 && std::memcmp(bytes.data() + 54, "FAT12", 5) == 0;
        mbr[at + 1] = 0xFE;  // CHS fields say "use the LBA ones"
        mbr[at + 2] = 0xFF;
        mbr[at + 3] = 0xFF;
        mbr[at + 4] = fat32 ? 0x0C : fat12 ? 0x01 : 0x06;
        mbr[at + 5] = 0xFE;
        mbr[at + 6] = 0xFF;
        mbr[at + 7] = 0xFF;
        for (int b = 0; b < 4; ++b) {
            mbr[at + 8 + b] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(first) >> (8 * b));
            mbr[at + 12 + b] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(count) >> (8 * b));
        }
    }
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    WriteBytesAt(path, 0, mbr);
}

void WriteBytesAt(const std::string& path, std::int64_t byteOffset, std::span<const std::uint8_t> bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::pwrite(fd, bytes.data() + done, bytes.size() - done, byteOffset + static_cast<std::int64_t>(done));
        if (put <= 0) {
            if (put < 0 && errno == EINTR) continue;
            ::close(fd);
            throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
        }
        done += static_cast<std::size_t>(put);
    }
    ::close(fd);
}

std::vector<std::uint8_t> ReadBytesAt(const std::string& path, std::int64_t byteOffset, std::size_t length) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    std::vector<std::uint8_t> bytes(length);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(fd, bytes.data() + done, length - done, byteOffset + static_cast<std::int64_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    bytes.resize(done);
    return bytes;
}

void CopyIntoImage(const std::string& image, const std::string& hostFile, const std::string& imagePath) {
    for (const std::string& folder : FoldersOf(imagePath)) Run({"mmd", "-i", image, folder});  // fails if there: fine
    RunOrThrow({"mcopy", "-o", "-i", image, hostFile, imagePath});
}

void DeleteFromImage(const std::string& image, const std::string& imagePath) {
    const ToolResult file = Run({"mdel", "-i", image, imagePath});
    if (file.status == 0) return;
    const ToolResult folder = Run({"mdeltree", "-i", image, imagePath});
    if (folder.status == 0) return;
    throw std::runtime_error("cannot delete " + imagePath + " from " + image + ": " + file.output + folder.output);
}

FatGeometry ReadGeometryWithMinfo(const std::string& image) {
    const std::string info = RunOrThrow({"minfo", "-i", image, "::"});
    const std::int64_t sectorSize = NumberAfter(info, "sector size:");
    const std::int64_t clusterSectors = NumberAfter(info, "cluster size:");
    const std::int64_t reserved = NumberAfter(info, "reserved (boot) sectors:");
    const std::int64_t fats = NumberAfter(info, "fats:");
    const std::int64_t rootSlots = NumberAfter(info, "max available root directory slots:");
    std::int64_t total = NumberAfter(info, "small size:");
    if (total <= 0) total = NumberAfter(info, "big size:");
    std::int64_t fatSize = NumberAfter(info, "sectors per fat:");
    if (fatSize <= 0) fatSize = NumberAfter(info, "Big fatlen=");
    if (sectorSize <= 0 || clusterSectors <= 0 || reserved < 0 || fats <= 0 || total <= 0 || fatSize <= 0)
        throw std::runtime_error("cannot read the layout of " + image + " from minfo:\n" + info);

    FatGeometry geometry;
    geometry.sectorsPerCluster = static_cast<int>(clusterSectors);
    const std::int64_t rootSectors = (std::max<std::int64_t>(rootSlots, 0) * 32 + sectorSize - 1) / sectorSize;
    geometry.dataStartSector = reserved + fats * fatSize + rootSectors;
    geometry.totalClusters = (total - geometry.dataStartSector) / clusterSectors;

    const std::string listing = Run({"mdir", "-i", image, "::"}).output;
    const std::size_t freeAt = listing.rfind("bytes free");
    if (freeAt == std::string::npos) throw std::runtime_error("mdir gave no free space for " + image + ":\n" + listing);
    const std::size_t lineStart = listing.rfind('\n', freeAt);
    std::int64_t freeBytes = 0;
    for (std::size_t i = lineStart == std::string::npos ? 0 : lineStart; i < freeAt; ++i)
        if (std::isdigit(static_cast<unsigned char>(listing[i]))) freeBytes = freeBytes * 10 + (listing[i] - '0');
    geometry.freeClusters = freeBytes / (clusterSectors * sectorSize);
    return geometry;
}

FatGeometry ReadExfatGeometry(const std::string& image) {
    const std::string dump = RunOrThrow({"dump.exfat", image});
    FatGeometry geometry;
    const std::int64_t clusterBits = NumberAfter(dump, "Sector per Cluster bits:");
    geometry.totalClusters = NumberAfter(dump, "Cluster Count:");
    geometry.dataStartSector = NumberAfter(dump, "Cluster Heap Offset (sector offset):");
    geometry.freeClusters = NumberAfter(dump, "Free Clusters:");
    if (clusterBits < 0 || clusterBits > 25 || geometry.totalClusters <= 0)
        throw std::runtime_error("cannot read the layout of " + image + " from dump.exfat:\n" + dump);
    geometry.sectorsPerCluster = 1 << clusterBits;
    return geometry;
}

void WriteExfatFile(const std::string& image, const ExfatFile& file) {
    const Bytes boot = ReadBytesAt(image, 0, 512);
    const auto le32 = [](const Bytes& b, std::size_t at) {
        return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 | std::uint32_t{b[at + 3]} << 24;
    };
    const std::int64_t sectorBytes = std::int64_t{1} << boot[108];
    const std::int64_t clusterBytes = sectorBytes << boot[109];
    const std::int64_t fatAt = le32(boot, 80) * sectorBytes;
    const std::int64_t heapAt = le32(boot, 88) * sectorBytes;
    const auto clusterAt = [&](std::uint32_t cluster) { return heapAt + (std::int64_t{cluster} - 2) * clusterBytes; };
    const std::uint32_t root = le32(boot, 96);
    const auto put32 = [](Bytes& b, std::size_t at, std::uint64_t v, int bytes = 4) {
        for (int i = 0; i < bytes; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };

    // The bytes, the chain and the bitmap.
    const std::uint64_t length = file.folder ? static_cast<std::uint64_t>(clusterBytes) : file.bytes.size();
    for (std::size_t i = 0; i < file.clusters.size(); ++i) {
        Bytes piece(static_cast<std::size_t>(clusterBytes), 0);
        const std::size_t from = i * static_cast<std::size_t>(clusterBytes);
        if (!file.folder && from < file.bytes.size())
            std::copy(file.bytes.begin() + static_cast<std::ptrdiff_t>(from),
                      file.bytes.begin() + static_cast<std::ptrdiff_t>(std::min(file.bytes.size(), from + piece.size())), piece.begin());
        WriteBytesAt(image, clusterAt(file.clusters[i]), piece);
        if (!file.contiguous) {
            Bytes link(4);
            put32(link, 0, i + 1 < file.clusters.size() ? file.clusters[i + 1] : 0xFFFFFFFFu);
            WriteBytesAt(image, fatAt + std::int64_t{file.clusters[i]} * 4, link);
        }
    }
    const Bytes rootCluster = ReadBytesAt(image, clusterAt(root), static_cast<std::size_t>(clusterBytes));
    std::uint32_t bitmap = 0;
    for (std::size_t at = 0; at < rootCluster.size(); at += 32)
        if (rootCluster[at] == 0x81) bitmap = le32(rootCluster, at + 20);
    if (!file.deleted && bitmap != 0)
        for (const std::uint32_t cluster : file.clusters) {
            const std::int64_t at = clusterAt(bitmap) + (cluster - 2) / 8;
            Bytes bits = ReadBytesAt(image, at, 1);
            bits[0] = static_cast<std::uint8_t>(bits[0] | 1u << ((cluster - 2) % 8));
            WriteBytesAt(image, at, bits);
        }

    // The entry set: file, stream extension, the name 15 characters an entry.
    const std::size_t nameEntries = (file.name.size() + 14) / 15;
    Bytes set(32 * (2 + nameEntries), 0);
    set[0] = 0x85;
    set[1] = static_cast<std::uint8_t>(1 + nameEntries);
    put32(set, 4, file.folder ? 0x10 : 0x20, 2);
    put32(set, 8, file.modified);
    put32(set, 12, file.modified);
    put32(set, 16, file.modified);
    set[22] = set[23] = set[24] = file.utcOffset;
    set[32] = 0xC0;
    set[33] = static_cast<std::uint8_t>(1 | (file.contiguous ? 2 : 0));
    set[35] = static_cast<std::uint8_t>(file.name.size());
    std::uint16_t hash = 0;
    for (char16_t c : file.name) {
        // The up-case table maps ASCII and Latin-1's small letters to capitals.
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) c = static_cast<char16_t>(c - 0x20);
        for (const std::uint8_t byte : {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)})
            hash = static_cast<std::uint16_t>(((hash & 1) ? 0x8000 : 0) + (hash >> 1) + byte);
    }
    put32(set, 36, hash, 2);
    put32(set, 40, length, 8);
    put32(set, 52, file.clusters.empty() ? 0 : file.clusters.front());
    put32(set, 56, length, 8);
    for (std::size_t i = 0; i < file.name.size(); ++i) {
        const std::size_t entry = 2 + i / 15;
        if (i % 15 == 0) set[32 * entry] = 0xC1;
        put32(set, 32 * entry + 2 + 2 * (i % 15), file.name[i], 2);
    }
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < set.size(); ++i)
        if (i != 2 && i != 3) sum = static_cast<std::uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + set[i]);
    put32(set, 2, sum, 2);
    if (file.deleted)
        for (std::size_t at = 0; at < set.size(); at += 32) set[at] &= 0x7F;

    const std::uint32_t folder = file.parent ? file.parent : root;
    const Bytes entries = ReadBytesAt(image, clusterAt(folder), static_cast<std::size_t>(clusterBytes));
    std::size_t at = 0;
    while (at + set.size() <= entries.size() && entries[at] != 0) at += 32;
    if (at + set.size() > entries.size()) throw std::runtime_error("no room for an entry set in exFAT folder");
    WriteBytesAt(image, clusterAt(folder) + static_cast<std::int64_t>(at), set);
}

bool RunningAsRoot() { return ::geteuid() == 0; }

}  // namespace kelvara::testing
