#include "photos/preview_files.h"

#include <stdexcept>
#include <vector>

#include "photos/drive_bytes.h"
#include "platform/last_error_text.h"
#include "photos/photo_bytes.h"
#include "destination/written_file.h"

namespace kelvara {
namespace {

constexpr DWORD kTempPathBuffer = 256;

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

std::string WritePreviewFiles(Platform& platform, const FoundPhoto& photo, std::int64_t driveEnd,
                              const std::string& tempFolder, const std::function<void()>& afterRead,
                              SectorRanges* unreadable) {
    if (tempFolder.empty()) throw std::runtime_error("There is no private folder to put the preview in.");
    DriveBytes bytes(platform, photo.Drive, photo.StartSector, photo.EndSector, driveEnd, afterRead);
    const std::uint64_t length = PhotoLength(bytes, photo);
    RemoveLeftovers(platform, tempFolder);

    // Each file is made anew in place of the old one (a link planted under the fixed name is
    // replaced, never written through). A photo that cannot be written is not left as the one
    // before it, which the pane would show in its place.
    const std::string photoPath = tempFolder + "TB.jpg";
    if (WriteWholeFile(platform, photoPath, PhotoPieces(bytes, length))) platform.DeleteFileA(photoPath);
    if (unreadable) {
        const auto sectors = static_cast<std::int64_t>((length + kSectorSize - 1) / kSectorSize);
        *unreadable = bytes.Unreadable().Within(photo.StartSector, photo.StartSector + sectors);
    }
    const std::string page = PreviewPageText(tempFolder);
    const std::string pagePath = tempFolder + "TB001.htm";
    WriteWholeFile(platform, pagePath, WholeContent({reinterpret_cast<const std::uint8_t*>(page.data()), page.size()}));
    return pagePath;
}

}  // namespace kelvara
