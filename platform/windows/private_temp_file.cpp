#include "platform/private_temp_file.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <limits>

namespace kelvara {
namespace {

class WindowsTempFile final : public PrivateTempFile {
public:
    explicit WindowsTempFile(HANDLE file) : file_(file) {}
    ~WindowsTempFile() override { ::CloseHandle(file_); }  // deletes it too

    bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        return Whole(bytes, offset, [this](auto part, DWORD asked, DWORD& done, OVERLAPPED& at) {
            return ::WriteFile(file_, part.data(), asked, &done, &at);
        });
    }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
        return Whole(bytes, offset, [this](auto part, DWORD asked, DWORD& done, OVERLAPPED& at) {
            return ::ReadFile(file_, part.data(), asked, &done, &at);
        });
    }

private:
    static OVERLAPPED At(std::uint64_t offset) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        return at;
    }
    // Repeats a transfer at an offset that may move fewer bytes than asked until all have moved.
    template <typename Bytes, typename Transfer>
    static bool Whole(Bytes bytes, std::uint64_t offset, Transfer transfer) {
        while (!bytes.empty()) {
            OVERLAPPED at = At(offset);
            DWORD done = 0;
            const auto asked = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), (std::numeric_limits<DWORD>::max)()));
            if (!transfer(bytes, asked, done, at) || done == 0) return false;
            bytes = bytes.subspan(done);
            offset += done;
        }
        return true;
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
