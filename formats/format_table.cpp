#include "formats/format_table.h"

#include <array>
#include <cctype>
#include <stdexcept>
#include <string>

namespace kelvara {
namespace formats {
namespace {

// JPEG is tested first, then GIF89a, as the scan always did; the rest share no first byte with
// them or with each other.
constexpr std::array<const Format*, 7> kTable = {&jpeg::kFormat, &gif::kFormat, &tiff::kFormat,     &raf::kFormat,
                                                 &iso_media::kFormat, &png::kFormat, &riff::kFormat};

struct Kind {
    const Format* format;
    const Variant* variant;
};

const std::vector<Kind>& Kinds() {
    static const std::vector<Kind> kinds = [] {
        std::vector<Kind> all;
        for (const Format* format : kTable)
            for (const Variant& variant : format->variants) all.push_back({format, &variant});
        // A record keeps the kind in a byte, and a KindSet in 64 bits.
        if (all.size() > 64) throw std::logic_error("more kinds of file than a set of kinds holds");
        return all;
    }();
    return kinds;
}

const Kind& KindAt(FileKind kind) {
    const auto& kinds = Kinds();
    // A record read back from a damaged temporary file is still a JPEG's, never out of bounds.
    return kinds[kind.index < kinds.size() ? kind.index : 0];
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

}  // namespace

std::span<const Format* const> Table() { return kTable; }

std::size_t KindCount() { return Kinds().size(); }
const Format& FormatOf(FileKind kind) { return *KindAt(kind).format; }
const Variant& VariantOf(FileKind kind) { return *KindAt(kind).variant; }
std::string_view ExtensionOf(FileKind kind) { return VariantOf(kind).extension; }

std::optional<FileKind> KindOf(const Format& format, std::string_view extension) {
    const auto& kinds = Kinds();
    for (std::size_t i = 0; i < kinds.size(); ++i)
        if (kinds[i].format == &format && kinds[i].variant->extension == extension)
            return FileKind{static_cast<std::uint8_t>(i)};
    return std::nullopt;
}

std::optional<FileKind> KindOfExtension(std::string_view extension) {
    const std::string wanted = (extension.substr(0, 1) == "." ? "" : ".") + Upper(extension);
    const auto& kinds = Kinds();
    for (std::size_t i = 0; i < kinds.size(); ++i)
        if (kinds[i].variant->extension == wanted) return FileKind{static_cast<std::uint8_t>(i)};
    return std::nullopt;
}

std::optional<KindSet> KindsNamed(std::string_view word) {
    const std::string upper = Upper(word);
    KindSet set;
    const auto& kinds = Kinds();
    for (std::size_t i = 0; i < kinds.size(); ++i)
        if (Upper(kinds[i].variant->group) == upper) set.Add(FileKind{static_cast<std::uint8_t>(i)});
    if (set.empty())
        if (const auto kind = KindOfExtension(word); kind && !word.empty()) set.Add(*kind);
    if (set.empty()) return std::nullopt;
    return set;
}

std::vector<std::string_view> Groups() {
    std::vector<std::string_view> groups;
    for (const Kind& kind : Kinds())
        if (std::find(groups.begin(), groups.end(), kind.variant->group) == groups.end()) groups.push_back(kind.variant->group);
    return groups;
}

EndMarkerBytes EndMarkerOf(FileKind kind) { return FormatOf(kind).endMarker.value_or(EndMarkerBytes{}); }

kelvara::Walk WalkStructure(FileKind kind, ByteSource& bytes) { return FormatOf(kind).WalkStructure(bytes); }

kelvara::Walk WalkOfLength(std::optional<std::uint64_t> length) {
    // Broken: its signature and head were real, so it is a photo; what holds together of it is
    // not known, so all of its run is kept.
    if (!length) return {std::nullopt, UINT64_MAX, true};
    return {length, *length, true};
}

bool HeadShowsImage(ByteSource&, std::uint64_t) { return true; }

}  // namespace formats

KindSet KindSet::All() {
    KindSet all;
    for (std::size_t i = 0; i < formats::KindCount(); ++i) all.Add(FileKind{static_cast<std::uint8_t>(i)});
    return all;
}

}  // namespace kelvara
