#include "destination/spill_file.h"

#include <atomic>
#include <vector>

#include "destination/destination.h"
#include "platform/last_error_text.h"

namespace kelvara {
namespace {

class SpillFile final : public PrivateTempFile {
public:
    SpillFile(Platform& platform, HANDLE file, std::string path) : platform_(platform), file_(file), path_(std::move(path)) {}
    ~SpillFile() override {
        platform_.CloseHandle(file_);
        if (!path_.empty()) platform_.DeleteFileA(path_);  // where it could not go while open
    }

    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        DWORD written = 0;
        return Seek(offset) && platform_.WriteFile(file_, bytes, written) && written == bytes.size();
    }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
        DWORD got = 0;
        return Seek(offset) && platform_.ReadFile(file_, bytes, got) && got == bytes.size();
    }

private:
    bool Seek(std::uint64_t offset) {
        LONG high = static_cast<LONG>(offset >> 32);
        const DWORD low = platform_.SetFilePointer(file_, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
        return low != INVALID_SET_FILE_POINTER || platform_.GetLastError() == 0;
    }

    Platform& platform_;
    HANDLE file_;
    std::string path_;
};

}  // namespace

std::unique_ptr<PrivateTempFile> OpenSpillFile(Platform& platform, const std::string& sourceDrive, std::string& why) {
    std::vector<char> buffer(4096);
    const DWORD length = platform.GetTempPathA(buffer);
    if (length == 0 || length >= buffer.size()) {
        why = "there is no private temporary folder for it (" + LastErrorText(platform) + ")";
        return nullptr;
    }
    const std::string folder(buffer.data(), length);
    Destination destination(platform, folder, {sourceDrive}, {.make = true, .held = false, .replaces = true});
    if (const auto& refusal = destination.refusal()) {
        why = "the temporary folder cannot hold it. " + *refusal + " (The temporary folder is set by TMPDIR.)";
        return nullptr;
    }
    return OpenSpillFile(destination, "kelvara-list", why);
}

std::unique_ptr<PrivateTempFile> OpenSpillFile(Destination& destination, const std::string& stem, std::string& why) {
    Platform& platform = destination.platform();
    static std::atomic<int> made = 0;
    std::string name, leaf;
    HANDLE inside = INVALID_HANDLE_VALUE, file = INVALID_HANDLE_VALUE;
    // Always a new file: one of the name there already (a leftover, or the user's) is let be.
    for (int tries = 0; tries < 100 && file == INVALID_HANDLE_VALUE; ++tries) {
        name = stem + "-" + std::to_string(++made) + ".tmp";
        inside = destination.FolderOf(name, leaf);
        if (inside == INVALID_HANDLE_VALUE) break;
        file = platform.CreateFileInFolder(inside, leaf, GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
        const DWORD error = platform.GetLastError();
        if (file == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) {
        why = "no file can be made for it in " + destination.folder() + ": " + LastErrorText(platform);
        return nullptr;
    }
    // Recorded, so a claim after a kill removes it where it keeps its name while open.
    destination.Remember(inside, leaf, file);
    // Without a name it goes with the program, however that ends.
    const bool unnamed = platform.DeleteFileInFolder(inside, leaf);
    return std::make_unique<SpillFile>(platform, file, unnamed ? std::string() : destination.PathOf(name));
}

}  // namespace kelvara
