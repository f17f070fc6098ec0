#include "platform/private_temp_file.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <limits>

namespace kelvara {
namespace {

class WindowsTempFile final : public PrivateTempFile {
public:
    explicit WindowsTempFile(HANDLE file) : file_(file) {}
    ~WindowsTempFile() override { ::CloseHandle(file_); }  // deletes it too

    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        while (!bytes.empty()) {
            OVERLAPPED at = At(offset);
            DWORD done = 0;
            const DWORD asked = Chunk(bytes.size());
            if (!::WriteFile(file_, bytes.data(), asked, &done, &at) || done == 0) return false;
            bytes = bytes.subspan(done);
            offset += done;
        }
        return true;
    }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
        while (!bytes.empty()) {
            OVERLAPPED at = At(offset);
            DWORD done = 0;
            const DWORD asked = Chunk(bytes.size());
            if (!::ReadFile(file_, bytes.data(), asked, &done, &at) || done == 0) return false;
            bytes = bytes.subspan(done);
            offset += done;
        }
        return true;
    }

private:
    static OVERLAPPED At(std::uint64_t offset) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        return at;
    }
    static DWORD Chunk(std::size_t size) {
        return static_cast<DWORD>(size < (std::numeric_limits<DWORD>::max)() ? size : (std::numeric_limits<DWORD>::max)());
    }
    HANDLE file_;
};

}  // namespace

std::unique_ptr<PrivateTempFile> OpenPrivateTempFile() {
    // The user's own temporary folder; the file is shared with nobody and deleted by the system
    // when its last handle closes, also when the program is killed.
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return nullptr;
    wchar_t name[MAX_PATH + 1];
    if (::GetTempFileNameW(folder, L"kel", 0, name) == 0) return nullptr;
    const HANDLE file = ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ::DeleteFileW(name);
        return nullptr;
    }
    return std::make_unique<WindowsTempFile>(file);
}

}  // namespace kelvara
