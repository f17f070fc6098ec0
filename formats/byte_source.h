#pragma once
// Bytes that are read as they are asked for, and a cursor that walks them front to back. The
// photo structure walkers run on this, so they read a drive in bounded pieces and are tested
// on plain memory.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace kelvara {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The bytes from `offset` on, as many as lie together here; empty when there are none.
    virtual std::span<const std::uint8_t> From(std::uint64_t offset) = 0;
};

class MemoryBytes final : public ByteSource {
public:
    explicit MemoryBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::span<const std::uint8_t> From(std::uint64_t offset) override {
        return offset < bytes_.size() ? bytes_.subspan(static_cast<std::size_t>(offset)) : std::span<const std::uint8_t>();
    }

private:
    std::span<const std::uint8_t> bytes_;
};

// The bytes of another source from `start` on, at most `length` of them: a part of a drive, or
// of a photo, as a source of its own.
class SourceView final : public ByteSource {
public:
    SourceView(ByteSource& source, std::uint64_t start, std::uint64_t length = UINT64_MAX)
        : source_(source), start_(start), length_(length) {}
    std::span<const std::uint8_t> From(std::uint64_t offset) override {
        if (offset >= length_) return {};
        const std::span<const std::uint8_t> bytes = source_.From(start_ + offset);
        return bytes.first(static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), length_ - offset)));
    }

private:
    ByteSource& source_;
    std::uint64_t start_, length_;
};

class ByteCursor {
public:
    explicit ByteCursor(ByteSource& source, std::uint64_t at = 0) : source_(source), position_(at) {}

    std::uint64_t Position() const { return position_; }
    void Seek(std::uint64_t at) { position_ = at; }
    void Skip(std::uint64_t count) { position_ += count; }
    // Lets go of the bytes in hand: another reader of the source may have moved them.
    void Forget() { window_ = {}; }

    // The next byte, or nullopt at the end of the source.
    std::optional<std::uint8_t> Next() {
        if (!InWindow() && !Fetch()) return std::nullopt;
        return window_[static_cast<std::size_t>(position_++ - windowStart_)];
    }

    // Moves up to the next byte of this value; false, at the end, when there is none.
    bool SkipTo(std::uint8_t value) {
        for (;;) {
            if (!InWindow() && !Fetch()) return false;
            const auto at = static_cast<std::size_t>(position_ - windowStart_);
            const void* found = std::memchr(window_.data() + at, value, window_.size() - at);
            if (found) {
                position_ = windowStart_ + static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(found) - window_.data());
                return true;
            }
            position_ = windowStart_ + window_.size();
        }
    }

private:
    bool InWindow() const { return position_ >= windowStart_ && position_ - windowStart_ < window_.size(); }
    bool Fetch() {
        window_ = source_.From(position_);
        windowStart_ = position_;
        return !window_.empty();
    }

    ByteSource& source_;
    std::uint64_t position_;
    std::span<const std::uint8_t> window_;
    std::uint64_t windowStart_ = 0;
};

}  // namespace kelvara
