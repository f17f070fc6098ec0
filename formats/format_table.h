#pragma once
// The table of formats: every kind of file Kelvara finds, JPEG and GIF89a first. The scan, the
// found-photo records, the names, saving and the preview ask it; nothing else tells formats apart.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "formats/format.h"

namespace kelvara {

// One extension of one format of the table: the byte a found-photo record keeps. Kind 0 is the
// JPEG, so a record made without one is a JPEG, as a scan's first records always were.
struct FileKind {
    std::uint8_t index = 0;
    bool operator==(const FileKind&) const = default;
};

// A set of kinds, as --formats chooses them.
class KindSet {
public:
    static KindSet All();
    bool Has(FileKind kind) const { return kind.index < 64 && (bits_ >> kind.index & 1) != 0; }
    void Add(FileKind kind) { bits_ |= std::uint64_t{1} << kind.index; }
    void Add(const KindSet& other) { bits_ |= other.bits_; }
    bool empty() const { return bits_ == 0; }
    bool operator==(const KindSet&) const = default;

private:
    std::uint64_t bits_ = 0;
};

namespace formats {

// The formats in the order their signatures are tested.
std::span<const Format* const> Table();

// The kinds: each extension of each format, in table order.
std::size_t KindCount();
const Format& FormatOf(FileKind kind);
const Variant& VariantOf(FileKind kind);
std::string_view ExtensionOf(FileKind kind);
// The kind of a format's extension (as its Identify gives it); nullopt for one it has not.
std::optional<FileKind> KindOf(const Format& format, std::string_view extension);
// The kind of an extension, of whatever format, in any case and with or without its dot.
std::optional<FileKind> KindOfExtension(std::string_view extension);

// What --formats takes: a group ("jpeg", "raw", "heif", "mp4", ...) or an extension ("dng",
// "mov"), in any case. nullopt for a word that names no kind.
std::optional<KindSet> KindsNamed(std::string_view word);
// The groups, in table order, each once.
std::vector<std::string_view> Groups();

// The kind's end-of-file marker, as a found-photo record keeps it: 00 00 for a format without
// one (its line says whether it has one).
EndMarkerBytes EndMarkerOf(FileKind kind);

// Where a file of this kind ends by its own structure, or how far it held together (Walk).
kelvara::Walk WalkStructure(FileKind kind, ByteSource& bytes);
inline std::optional<std::uint64_t> StructuralLength(FileKind kind, ByteSource& bytes) {
    return WalkStructure(kind, bytes).end;
}

}  // namespace formats
}  // namespace kelvara
