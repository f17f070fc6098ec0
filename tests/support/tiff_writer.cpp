#include "tests/support/tiff_writer.h"

#include <algorithm>

namespace kelvara::testing {
namespace {

void Put32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

TiffWriter::TiffWriter(std::array<std::uint8_t, 4> magic, bool cr2) : bytes(magic.begin(), magic.end()) {
    Put32(bytes, 0);
    if (cr2) bytes.insert(bytes.end(), {'C', 'R', 2, 0, 0, 0, 0, 0});
}

std::uint32_t TiffWriter::Blob(const Bytes& blob) {
    if (bytes.size() % 2) bytes.push_back(0);
    const auto at = static_cast<std::uint32_t>(bytes.size());
    bytes.insert(bytes.end(), blob.begin(), blob.end());
    return at;
}

std::uint32_t TiffWriter::Longs(const std::vector<std::uint32_t>& values) {
    Bytes raw;
    for (const std::uint32_t value : values) Put32(raw, value);
    return Blob(raw);
}

TiffWriter::Field TiffWriter::Text(std::uint16_t tag, const std::string& text) {
    Bytes raw(text.begin(), text.end());
    raw.push_back(0);
    return {tag, 2, static_cast<std::uint32_t>(raw.size()), Blob(raw)};
}

TiffWriter::Field TiffWriter::Data(std::uint16_t tag, const Bytes& raw) {
    return {tag, 7, static_cast<std::uint32_t>(raw.size()), Blob(raw)};
}

TiffWriter::Field TiffWriter::LongList(std::uint16_t tag, const std::vector<std::uint32_t>& values) {
    if (values.size() == 1) return Long(tag, values[0]);
    return {tag, 4, static_cast<std::uint32_t>(values.size()), Longs(values)};
}

std::uint32_t TiffWriter::Directory(std::vector<Field> fields, std::uint32_t next) {
    return Blob(DirectoryBytes(std::move(fields), next));
}

std::uint32_t TiffWriter::Reserve(std::size_t fields) { return Blob(Bytes(2 + 12 * fields + 4, 0)); }

void TiffWriter::DirectoryAt(std::uint32_t at, std::vector<Field> fields, std::uint32_t next) {
    const Bytes raw = DirectoryBytes(std::move(fields), next);
    std::copy(raw.begin(), raw.end(), bytes.begin() + at);
}

TiffWriter::Bytes TiffWriter::DirectoryBytes(std::vector<Field> fields, std::uint32_t next) {
    std::sort(fields.begin(), fields.end(), [](const Field& a, const Field& b) { return a.tag < b.tag; });
    Bytes raw = {static_cast<std::uint8_t>(fields.size()), static_cast<std::uint8_t>(fields.size() >> 8)};
    for (const Field& field : fields) {
        raw.insert(raw.end(), {static_cast<std::uint8_t>(field.tag), static_cast<std::uint8_t>(field.tag >> 8),
                               static_cast<std::uint8_t>(field.type), 0});
        Put32(raw, field.count);
        Put32(raw, field.value);
    }
    Put32(raw, next);
    return raw;
}

void TiffWriter::SetFirst(std::uint32_t directory) {
    for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<std::uint8_t>(directory >> (8 * i));
}

}  // namespace kelvara::testing
