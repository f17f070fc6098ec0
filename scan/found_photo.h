#pragma once
#include <array>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace kelvara {

enum class PhotoKind : std::uint8_t { Jpeg, Gif };

// ".JPG" or ".GIF": the end of the photo's list entry and file name.
const char* KindExtension(PhotoKind kind);

// The kind's two-byte end-of-file marker: FF D9 ends a JPEG, 00 3B a GIF.
using EndMarkerBytes = std::array<std::uint8_t, 2>;
EndMarkerBytes EndMarkerOf(PhotoKind kind);

// The drive text a photo was found on. Only its first character names the drive it is read
// back from, so a few characters kept in place are enough, and a record stays small however
// many photos a card holds.
class DriveText {
public:
    DriveText() = default;
    DriveText(const std::string& text);  // NOLINT: a drive string is a drive text
    DriveText(const char* text) : DriveText(std::string(text)) {}  // NOLINT
    std::string str() const { return std::string(text_.data()); }
    operator std::string() const { return str(); }  // NOLINT
    bool operator==(const DriveText&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const DriveText& drive);

private:
    std::array<char, 8> text_{};  // NUL-terminated
};

// Where one found photo lies on the drive; no photo data are kept.
struct FoundPhoto {
    std::int64_t StartSector = 0;  // the sector whose first bytes hold the signature
    std::int64_t EndSector = 0;    // exclusive: the next photo's StartSector, or the drive's total for the last
    PhotoKind Kind = PhotoKind::Jpeg;
    EndMarkerBytes EndMarker{};    // the kind's end-of-file marker
    DriveText Drive;               // the drive text when the photo was recorded; it is read back from there
};

// Record i belongs to entry i of the photo list. It grows as a scan finds photos; a new scan
// starts it afresh.
using FoundPhotoTable = std::vector<FoundPhoto>;

}  // namespace kelvara
