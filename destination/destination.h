#pragma once
// The folder a command writes into, claimed once before the card is read and held until its last
// file has its name. It is opened once, checked from that open folder (never the card, however it
// is mounted), held against any other Kelvara, and every file is made, written and renamed inside
// that very folder: a folder swapped, linked or mounted over after the check is never written.

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kelvara {

class Destination {
public:
    struct Options {
        bool make = false;  // make the folder, and those above it, when missing
        // Held against every other Kelvara, with a record of the unfinished files it makes so a
        // later claim removes them after a kill. Off for the preview's folder, which two windows
        // share and whose own two files are replaced each time.
        bool held = true;
        // Whether a file of the user's under a name asked for is replaced. Never for what is
        // recovered: a photo or an image takes the next free name instead. Only the preview's
        // own files are replaced.
        bool replaces = false;
        char separator = '\\';  // between folder and name in the paths shown to the user
    };

    // Claims `folder` (a DOS path, or a POSIX one) for a command reading the drives `sourceDrives`.
    Destination(Platform& platform, std::string folder, std::vector<std::string> sourceDrives);
    Destination(Platform& platform, std::string folder, std::vector<std::string> sourceDrives, Options options);
    ~Destination();
    Destination(const Destination&) = delete;
    Destination& operator=(const Destination&) = delete;

    // Why nothing may be written here; nullopt once the folder is claimed.
    const std::optional<std::string>& refusal() const { return refusal_; }
    bool claimed() const { return !refusal_; }
    const std::string& folder() const { return folder_; }
    bool held() const { return options_.held; }
    bool replaces() const { return options_.replaces; }
    Platform& platform() const { return platform_; }
    // The drives whose cards must never be written, and of which no image here may be replaced.
    const std::vector<std::string>& sourceDrives() const { return sourceDrives_; }

    // The open folder that holds `relativeName` ("a.JPG", "DCIM\100CANON\a.JPG"), its subfolders
    // made inside this one; INVALID_HANDLE_VALUE with the platform's error when they cannot be. The
    // handle stays this object's. `leaf` receives the last part of the name.
    HANDLE FolderOf(const std::string& relativeName, std::string& leaf);

    // `relativeName` as a path for the user: the folder as it was given, a separator, the name.
    std::string PathOf(const std::string& relativeName) const;

    // Removes a file of the destination's own (one it replaces, such as the preview's); false when
    // there was none.
    bool RemoveOwn(const std::string& relativeName);

    // Notes a temporary file just made here, so that a later claim can remove it should this
    // program be killed before it is finished; Forget once it is renamed or removed.
    void Remember(HANDLE folder, const std::string& name, HANDLE file);

private:
    void Claim();
    void RemoveRecordedLeftovers();

    Platform& platform_;
    std::string folder_;
    std::vector<std::string> sourceDrives_;
    Options options_;
    std::optional<std::string> refusal_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    struct Subfolder {
        std::string name;  // relative, with backslashes
        HANDLE handle;
    };
    std::vector<Subfolder> subfolders_;
    HANDLE record_ = INVALID_HANDLE_VALUE;  // the list of unfinished files, made at the first
};

}  // namespace kelvara
