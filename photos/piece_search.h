#pragma once
// Photos in pieces put back together where no chain of the card's file system survives. A camera
// writes a new photo into the holes deleted ones left, so its structure breaks off where another
// photo (or old data) starts, and goes on at a cluster start further on: first past the clusters
// of the photos lying whole there (the photos that interrupt it), else elsewhere on the card.
//
// A piece's end is tried at the cluster starts just before the break, its continuation at the
// cluster starts in that order; a join is taken only where the format itself confirms it: a JPEG's
// entropy-coded data decoding on without a fault across the join and the rows either side alike;
// for the formats of boxes, chunks and blocks (ISO media, RIFF, PNG with its CRCs, GIF) the
// structure holding to its end across the join where it would not with the next cluster instead;
// inside a HEIC's or a clip's media data, where boxes cannot tell, its HEVC pictures decoding
// clean or its video samples each filled by NAL units; a TIFF's or RAW file's by its JPEG-coded
// strips and tiles each starting where its directories say. A piece of boxes that runs over
// another photo's start breaks there.
// Two pieces first, then more, each search bounded in tries and time. A photo put together is
// only given out when its structure and (for a JPEG) its decode hold end to end.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "diskio/byte_extents.h"
#include "formats/byte_source.h"
#include "photos/cluster_grid.h"
#include "scan/found_photo.h"

namespace kelvara {

class PieceSearch {
public:
    // The entries of `table` found on `drive` (the drive text), whose bytes `bytes` gives from the
    // drive's first sector on, `driveBytes` of them.
    PieceSearch(const FoundPhotoTable& table, ByteSource& bytes, const std::string& drive, ClusterGrid grid,
                std::uint64_t driveBytes);

    // The pieces of entry `index`, whose structure broke off and of which the first `kept` bytes
    // were kept, in the file's order; nullopt when no join is confirmed or the whole does not
    // hold. Where the card's entry for it gives its size, its structure ends by then. Throws what
    // the bytes throw.
    std::optional<ByteExtents> Join(std::size_t index, std::uint64_t kept, std::optional<std::uint64_t> size = std::nullopt);

    // Bytes that belong to a photo already saved whole: no piece of another is looked for there.
    void Taken(std::uint64_t start, std::uint64_t end);
    // The first byte of [start, end) that a photo saved whole took; `end` where none did.
    std::uint64_t FirstTaken(std::uint64_t start, std::uint64_t end) const;

    const ClusterGrid& grid() const { return grid_; }

private:
    struct Search;
    // Follows the piece starting at `open` that breaks at `brokeAt` (both on the drive): tries its
    // possible ends and continuations, and after each join the rest, in depth first.
    std::optional<ByteExtents> Extend(Search& search, std::uint64_t open, std::uint64_t brokeAt);
    // Whether the format confirms that the pieces kept go on at `at`: Untold where its structure
    // would hold as well going on a cluster further.
    enum class Told { No, Yes, Untold };
    Told Confirms(Search& search, std::uint64_t at);
    bool IsTaken(std::uint64_t at, std::uint64_t* takenEnd) const;
    // Where the first other photo (not one known to lie inside another) starts in (from, to), `to`
    // where none does: a piece never runs over one, so each byte of the card goes into one file at most.
    std::uint64_t FirstStart(std::uint64_t from, std::uint64_t to) const;
    // How many entries start before `sector` (the table lies in card order).
    std::size_t EntriesBefore(std::int64_t sector) const;
    // Whether WholeEnd can tell of entry `index`: it was walked, or what may be walked is not spent.
    bool WholeEndKnowable(std::size_t index) const;
    // The entry starting at byte `at` of the drive, when one does.
    std::optional<std::size_t> EntryAt(std::uint64_t at) const;
    // Where the structure of entry `index` ends when it is whole (walked once, then remembered).
    std::optional<std::uint64_t> WholeEnd(std::size_t index);
    // Whether byte `at` lies inside a photo whole by its own structure that starts after entry
    // `after` (those before it were saved already: what they took is known).
    bool InWholePhoto(std::uint64_t at, std::size_t after);
    // The first cluster start from `at` on that does not start a whole photo.
    std::uint64_t PastWholePhotos(std::uint64_t at);
    // Cheap tests of a cluster start before a join is tried there.
    bool MayContinue(bool jpeg, std::uint64_t at);

    const FoundPhotoTable& table_;
    ByteSource& bytes_;
    DriveText drive_;
    ClusterGrid grid_;
    std::uint64_t driveBytes_;
    std::map<std::uint64_t, std::uint64_t> taken_;  // start to end
    std::map<std::size_t, std::optional<std::uint64_t>> wholeEnds_;
    std::uint64_t farLooked_ = 0;  // bytes of clusters looked at across the card
    std::uint64_t walked_ = 0;     // bytes of whole photos walked
};

}  // namespace kelvara
