#include "photos/preview_files.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "destination/written_file.h"
#include "formats/heif_preview.h"
#include "photos/card_entry.h"
#include "photos/drive_bytes.h"
#include "photos/photo_bytes.h"
#include "photos/reassembled_photo.h"
#include "photos/save_file.h"
#include "platform/last_error_text.h"

namespace kelvara {
namespace {

constexpr DWORD kTempPathBuffer = 256;
// A HEIC or AVIF is decoded from memory; one larger than any phone writes is not.
constexpr std::uint64_t kLargestDecoded = 64 << 20;
// The pane is 256 pixels; a screen of twice the density still sees a sharp picture.
constexpr int kDecodedSide = 512;
// The temporary folder may be kept in memory (a desktop's runtime folder): a clip longer than a
// couple of minutes of a phone's video is left on the card, to be saved and played.
constexpr std::uint64_t kLargestClip = 256 << 20;

// Only the characters that would end the attribute or start markup are replaced, so an
// ordinary path goes into the page exactly as it is.
std::string AttributeText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '"': out += "&quot;"; break;
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            default: out += c;
        }
    }
    return out;
}

// A page that says why there is no picture to show, within the pane's 256 pixels.
std::string MessagePage(const std::string& text) {
    return "<body topmargin=\"0\" leftmargin=\"0\"><div style=\"font:12px sans-serif;margin:6px;width:244px\">" +
           AttributeText(text) + "</div></body>";
}

// What a clip's own header says of it: "1920 x 1080, 0:12".
std::string ClipFacts(const std::optional<formats::ClipInfo>& clip) {
    if (!clip) return "Its header does not tell its size and length.";
    char text[96];
    const auto seconds = static_cast<long long>(clip->seconds + 0.5);
    std::snprintf(text, sizeof text, "%u x %u, %lld:%02lld", static_cast<unsigned>(clip->width),
                  static_cast<unsigned>(clip->height), seconds / 60, seconds % 60);
    return text;
}

// A clip's page: a video element playing its bytes, and what its header says of it below.
std::string ClipPageText(const std::string& tempFolder, const std::string& clipName,
                         const std::optional<formats::ClipInfo>& clip) {
    const std::string q = "\"";
    // Windows' browser control shows pages as an old engine without video unless the page asks.
    return "<meta http-equiv=" + q + "X-UA-Compatible" + q + " content=" + q + "IE=edge" + q + "><body topmargin=" + q +
           "0" + q + " leftmargin=" + q + "0" + q + "><video src=" + q +
           AttributeText(tempFolder) + clipName + q + " width=" + q + "256" + q + " height=" + q + "232" + q +
           " controls></video><div style=" + q + "font:12px sans-serif;margin:2px 6px" + q + ">" +
           AttributeText(ClipFacts(clip)) + "</div></body>";
}

// A clip's bytes are named by its extension, so the browser engine knows what it plays.
std::string ClipFileName(FileKind kind) {
    std::string extension(formats::ExtensionOf(kind));
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return "TB" + extension;
}

// An earlier clip's bytes go with every new preview: they may be large, and kept in memory.
void RemoveClipFiles(Destination& folder) {
    for (std::size_t i = 0; i < formats::KindCount(); ++i) {
        const FileKind kind{static_cast<std::uint8_t>(i)};
        if (formats::VariantOf(kind).shown == formats::Shown::Clip) folder.RemoveOwn(ClipFileName(kind));
    }
}

std::vector<std::uint8_t> ReadWhole(ReassembledPhoto& bytes, std::uint64_t length) {
    std::vector<std::uint8_t> file;
    file.reserve(static_cast<std::size_t>(length));
    const NextPiece pieces = bytes.Pieces();
    for (auto piece = pieces(); !piece.empty(); piece = pieces()) file.insert(file.end(), piece.begin(), piece.end());
    return file;
}

struct PreviewPage {
    std::string text;
    formats::ByteRange read;  // what of the photo went into the preview
};

// Writes what the pane shows of the photo whose first `length` bytes `bytes` gives: TB.jpg, or a
// clip's bytes. Returns the page that shows it, or that says why nothing can be shown. Each file
// is made anew in place of the old one (a link planted under the fixed name is replaced, never
// written through); a picture that cannot be written is not left as the one before it, which
// the pane would show in its place.
PreviewPage WritePreviewPicture(Destination& folder, FileKind kind, ReassembledPhoto& bytes, std::uint64_t length) {
    const std::string& tempFolder = folder.folder();
    const std::string photoPath = "TB.jpg";
    const auto write = [&](const std::string& name, const NextPiece& pieces) {
        if (!WriteWholeFile(folder, name, pieces)) return true;
        folder.RemoveOwn(name);
        return false;
    };
    const formats::Format& format = formats::FormatOf(kind);
    SourceView photo(bytes.Bytes(), 0, length);
    RemoveClipFiles(folder);
    switch (formats::VariantOf(kind).shown) {
        case formats::Shown::AsItIs: break;
        case formats::Shown::Embedded: {
            const auto preview = format.EmbeddedPreview ? format.EmbeddedPreview(photo) : std::nullopt;
            if (!preview) {
                // Sectors that could not be read may be why: what was read of it is told.
                folder.RemoveOwn(photoPath);
                return {MessagePage("This " + std::string(formats::ExtensionOf(kind).substr(1)) +
                                    " file carries no JPEG preview that can be shown here, or its structure breaks off. "
                                    "Save it and open it with a program for raw photos."),
                        {0, length}};
            }
            write(photoPath, bytes.Pieces(preview->offset, preview->length));
            return {PreviewPageText(tempFolder), *preview};
        }
        case formats::Shown::Decoded: {
            if (length > kLargestDecoded) {
                folder.RemoveOwn(photoPath);
                return {MessagePage("This photo is too large to preview here; save it to view it."), {}};
            }
            const formats::HeifPreview decoded = formats::HeifToJpeg(ReadWhole(bytes, length), kDecodedSide);
            if (decoded.jpeg.empty() || !write(photoPath, WholeContent(decoded.jpeg))) {
                folder.RemoveOwn(photoPath);
                return {MessagePage(decoded.error.empty() ? "The preview could not be written." : decoded.error), {0, length}};
            }
            return {PreviewPageText(tempFolder), {0, length}};
        }
        case formats::Shown::Clip: {
            folder.RemoveOwn(photoPath);
            const auto clip = format.Clip ? format.Clip(photo) : std::nullopt;
            const std::string name = ClipFileName(kind);
            if (length > kLargestClip)
                return {MessagePage("This clip is too long to play here; save it to play it. " + ClipFacts(clip)), {}};
            if (!write(name, bytes.Pieces()))
                return {MessagePage("The clip could not be put where it can be played; save it to play it. " + ClipFacts(clip)),
                        {0, length}};
            return {ClipPageText(tempFolder, name, clip), {0, length}};
        }
    }
    write(photoPath, bytes.Pieces());
    return {PreviewPageText(tempFolder), {0, length}};
}

}  // namespace

std::string PreviewPageText(const std::string& tempFolder) {
    const std::string q = "\"";
    return "<body topmargin=" + q + "0" + q + " leftmargin=" + q + "0" + q + "><img border=" + q + "0" + q +
           " src=" + q + AttributeText(tempFolder) + "TB.jpg" + q + " width=" + q + "256" + q + " height=" + q +
           "256" + q + "></body>";
}

std::string PreviewTempFolder(Platform& platform) {
    std::vector<char> buffer(kTempPathBuffer);
    DWORD length = platform.GetTempPathA(buffer);
    // A longer path than the usual buffer takes is asked for again at the size it needs.
    if (length >= buffer.size()) {
        buffer.assign(length, '\0');
        length = platform.GetTempPathA(buffer);
        if (length >= buffer.size()) length = 0;
    }
    // Without it the files would land in whatever folder the program runs in, over a file of
    // someone's: nothing is written at all.
    if (length == 0)
        throw std::runtime_error("There is no private folder to put the preview in. " + LastErrorText(platform));
    return std::string(buffer.data(), length);
}

namespace {

// The page and TB.jpg for `photo` as Save writes it: from its pieces, where `table` is given and
// its structure breaks off and they are found whole on the card.
std::string WritePreview(Platform& platform, const FoundPhoto& photo, const FoundPhotoTable* table, std::size_t index,
                         std::int64_t driveEnd, const std::string& tempFolder, const std::function<void()>& afterRead,
                         SectorRanges* unreadable) {
    if (tempFolder.empty()) throw std::runtime_error("There is no private folder to put the preview in.");
    SectorSource card(platform, photo.Drive);  // one opening for the photo and any pieces of it
    DriveBytes bytes(card, photo.StartSector, photo.EndSector, driveEnd, afterRead);
    bool breaksOff = false;
    const std::uint64_t length = PhotoLength(bytes, photo, table ? &breaksOff : nullptr);
    // The folder is claimed like any other: a TMPDIR on the card being read is never written.
    Destination folder(platform, tempFolder, {photo.Drive}, {.make = true, .held = false, .replaces = true});
    if (const auto& refusal = folder.refusal()) throw std::runtime_error("The preview cannot be written: " + *refusal);
    std::optional<DriveBytes> drive;
    std::optional<ReassembledPhoto> shown;
    // Where its structure breaks off (read to wherever it leads), it may be whole from its pieces.
    if (breaksOff) {
        drive.emplace(card, 0, driveEnd, driveEnd, afterRead);
        const std::uint64_t start = static_cast<std::uint64_t>(photo.StartSector) * kSectorSize;
        // Through the chain the card's table still holds, as Save reads it; else its pieces.
        const CardUse use;  // outlives the entries, which keep a reference to it
        CardEntries entries(card, driveEnd, use);
        const CardVerdict verdict = entries.Of(start, {PhotoStatus::Incomplete, length}, photo.Kind);
        std::optional<ByteExtents> extents;
        if (verdict.pieces) {
            extents = Leading(*verdict.pieces, verdict.cut.length);
        } else {
            PieceSearch search(*table, *drive, photo.Drive,
                               ChooseClusterGrid(InferClusterGrid(*table, photo.Drive), entries.Layout()),
                               static_cast<std::uint64_t>(driveEnd) * kSectorSize);
            extents = search.Join(index, length, verdict.file ? std::optional(verdict.file->size) : std::nullopt);
        }
        if (extents) {
            shown.emplace(*drive, 0, 0);
            shown->Join(std::move(*extents));
        }
    }
    if (!shown) shown.emplace(bytes, 0, length);

    const PreviewPage page = WritePreviewPicture(folder, photo.Kind, *shown, shown->Length());
    if (unreadable) {
        if (drive) {
            *unreadable = shown->Unreadable();
        } else {
            const auto first = static_cast<std::int64_t>(page.read.offset / kSectorSize);
            const auto end = static_cast<std::int64_t>((page.read.End() + kSectorSize - 1) / kSectorSize);
            *unreadable = bytes.Unreadable().Within(photo.StartSector + first, photo.StartSector + end);
        }
    }
    WriteWholeFile(folder, "TB001.htm", WholeContent({reinterpret_cast<const std::uint8_t*>(page.text.data()), page.text.size()}));
    return tempFolder + "TB001.htm";
}

}  // namespace

std::string WritePreviewFiles(Platform& platform, const FoundPhoto& photo, std::int64_t driveEnd,
                              const std::string& tempFolder, const std::function<void()>& afterRead,
                              SectorRanges* unreadable) {
    return WritePreview(platform, photo, nullptr, 0, driveEnd, tempFolder, afterRead, unreadable);
}

std::string WritePreviewFiles(Platform& platform, const FoundPhotoTable& table, std::size_t index,
                              const std::string& tempFolder, const std::function<void()>& afterRead,
                              SectorRanges* unreadable) {
    return WritePreview(platform, table[index], &table, index, DriveEnd(table), tempFolder, afterRead, unreadable);
}

}  // namespace kelvara
