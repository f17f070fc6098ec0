#pragma once
#include <array>
#include <functional>
#include <stdexcept>

#include "platform/private_temp_file.h"
#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "formats/format_table.h"

namespace kelvara {

// What walking an entry's structure showed; a scan leaves it Unknown, Save All sets it.
enum class PhotoStatus : std::uint8_t {
    Unknown,
    Whole,       // its structure holds together to its end: saved as it is
    Incomplete,  // its structure breaks off (the rest lies elsewhere, or was written over): saved as far as it is whole
    Inside,      // it lies wholly inside an earlier photo (a thumbnail, a preview, a clip's data): saved with it only
    NotAPhoto,   // a signature by chance: no picture follows it, nothing is saved
};

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
    FileKind Kind;                 // its line of the table of formats, and its extension
    EndMarkerBytes EndMarker{};    // the kind's end-of-file marker (00 00 for a format without one)
    DriveText Drive;               // the drive text when the photo was recorded; it is read back from there
    PhotoStatus Status = PhotoStatus::Unknown;
};
static_assert(sizeof(FoundPhoto) <= 32, "a card of millions of entries keeps 32 bytes for each");

// Record i belongs to entry i of the photo list. It grows as a scan finds photos; a new scan
// starts it afresh. Up to a few megabytes of records stay in memory; beyond, they move to a
// private temporary file and only a few pages of it are kept, so memory stays small on a card
// whose every sector starts a photo. Records come back by value: a reference into the table
// would not outlive the next access.
// Records could not be kept: the temporary file cannot be had or written. Says why, for a user.
class RecordsNotKept : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class FoundPhotoTable {
public:
    // Where records go past what is kept in memory: a new private file, or nullptr with `why`
    // telling why there is none. Without one, the system's temporary folder is used.
    using SpillOpener = std::function<std::unique_ptr<PrivateTempFile>(std::string& why)>;
    void SetSpill(SpillOpener opener) { spill_ = std::move(opener); }

    FoundPhotoTable();
    FoundPhotoTable(std::initializer_list<FoundPhoto> records);
    FoundPhotoTable(const FoundPhotoTable& other);
    FoundPhotoTable& operator=(const FoundPhotoTable& other);
    FoundPhotoTable(FoundPhotoTable&& other) noexcept;
    FoundPhotoTable& operator=(FoundPhotoTable&& other) noexcept;
    ~FoundPhotoTable();

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Throws std::out_of_range past the end, and std::runtime_error when a record that was moved
    // to the temporary file cannot be read back.
    FoundPhoto operator[](std::size_t index) const;
    FoundPhoto back() const { return (*this)[size_ - 1]; }

    // Throws std::bad_alloc when there is no room for the record in memory, RecordsNotKept when the
    // file cannot take it (where no file may be had, a few more megabytes are kept in memory first).
    void push_back(const FoundPhoto& record);
    void pop_back();
    void clear();
    void assign(std::size_t count, const FoundPhoto& record);
    void resize(std::size_t count);

    void Set(std::size_t index, const FoundPhoto& record);
    void SetEndSector(std::size_t index, std::int64_t endSector);
    void SetStatus(std::size_t index, PhotoStatus status);

    // Whether the records have moved to the temporary file (for the tests).
    bool OnDisk() const;

private:
    struct Store;
    FoundPhoto& Slot(std::size_t index, bool writing) const;
    mutable std::unique_ptr<Store> store_;  // made on first use
    SpillOpener spill_;
    std::size_t size_ = 0;
};

}  // namespace kelvara
