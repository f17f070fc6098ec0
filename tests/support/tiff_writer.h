#pragma once
// TIFF and RAW layouts written byte by byte, little-endian, for the format tests and the fuzz
// seeds: directories and data placed in the order they are added (children before the
// directories that point at them), so each offset is known when it is written.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvara::testing {

class TiffWriter {
public:
    using Bytes = std::vector<std::uint8_t>;
    struct Field {
        std::uint16_t tag, type;
        std::uint32_t count, value;  // the value itself when it fits in four bytes, else its offset
    };

    // `magic`: "II*\0" for TIFF, "IIRO" for ORF, "IIU\0" for RW2. CR2 adds "CR\2\0" after the header.
    explicit TiffWriter(std::array<std::uint8_t, 4> magic = {'I', 'I', 42, 0}, bool cr2 = false);

    std::uint32_t Blob(const Bytes& bytes);
    std::uint32_t Longs(const std::vector<std::uint32_t>& values);
    Field Text(std::uint16_t tag, const std::string& text);  // ASCII, with its NUL
    Field Data(std::uint16_t tag, const Bytes& bytes);       // UNDEFINED
    static Field Short(std::uint16_t tag, std::uint32_t value) { return {tag, 3, 1, value}; }
    static Field Long(std::uint16_t tag, std::uint32_t value) { return {tag, 4, 1, value}; }
    Field LongList(std::uint16_t tag, const std::vector<std::uint32_t>& values);

    // A directory of these fields (sorted by tag) whose next directory is `next`.
    std::uint32_t Directory(std::vector<Field> fields, std::uint32_t next = 0);
    // Room here for a directory of `fields` fields, filled in by DirectoryAt once what it points
    // at is laid out: cameras write their first directory right after the header.
    std::uint32_t Reserve(std::size_t fields);
    void DirectoryAt(std::uint32_t at, std::vector<Field> fields, std::uint32_t next = 0);
    void SetFirst(std::uint32_t directory);

    Bytes bytes;

private:
    static Bytes DirectoryBytes(std::vector<Field> fields, std::uint32_t next);
};

}  // namespace kelvara::testing
