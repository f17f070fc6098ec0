// udisks2 through sd-bus, the D-Bus client of libsystemd.
#include "platform/posix/udisks.h"

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>

namespace kelvara {

const bool kUdisksBuiltIn = true;

namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr const char* kManager = "/org/freedesktop/UDisks2";
constexpr const char* kDriveInterface = "org.freedesktop.UDisks2.Drive";
constexpr const char* kBlockInterface = "org.freedesktop.UDisks2.Block";
constexpr const char* kPartitionInterface = "org.freedesktop.UDisks2.Partition";
constexpr const char* kFilesystemInterface = "org.freedesktop.UDisks2.Filesystem";
constexpr std::uint64_t kSecond = 1000000;
constexpr std::uint64_t kListTimeout = 10 * kSecond;
constexpr std::uint64_t kOpenTimeout = 300 * kSecond;  // a person may be typing a password

struct Message {
    ~Message() { sd_bus_message_unref(m); }
    sd_bus_message* m = nullptr;
};

struct Error {
    ~Error() { sd_bus_error_free(&e); }
    sd_bus_error e = SD_BUS_ERROR_NULL;
};

// What an object of the service tells of itself, as far as the drive list needs it.
struct Object {
    bool isDrive = false, isBlock = false, isPartition = false;
    // Drive
    bool removable = false, mediaRemovable = false;
    std::string connectionBus;
    std::vector<std::string> mediaCompatibility;
    // Block
    std::string device, drive, cryptoBacking;
    std::vector<std::string> symlinks;
    std::uint64_t deviceNumber = 0, size = 0;
    // Partition
    std::uint32_t number = 0;
    std::string table;
    bool container = false;
    // Filesystem
    std::vector<std::string> mountPoints;
};

using Objects = std::map<std::string, Object>;

int ReadBool(sd_bus_message* m, bool& into) {
    int value = 0;
    const int r = sd_bus_message_read_basic(m, 'b', &value);
    into = value != 0;
    return r;
}

int ReadText(sd_bus_message* m, char type, std::string& into) {
    const char* text = nullptr;
    const int r = sd_bus_message_read_basic(m, type, &text);
    if (r > 0 && text) into = text;
    return r;
}

// udisks2 sends paths as NUL-terminated byte arrays.
int ReadBytes(sd_bus_message* m, std::string& into) {
    const void* data = nullptr;
    std::size_t size = 0;
    const int r = sd_bus_message_read_array(m, 'y', &data, &size);
    const char* text = static_cast<const char*>(data);
    if (r >= 0) into.assign(text ? text : "", text ? strnlen(text, size) : 0);
    return r;
}

int ReadByteList(sd_bus_message* m, std::vector<std::string>& into) {
    int r = sd_bus_message_enter_container(m, 'a', "ay");
    if (r < 0) return r;
    for (std::string item; (r = ReadBytes(m, item)) > 0;) into.push_back(item);
    return r < 0 ? r : sd_bus_message_exit_container(m);
}

int ReadTextList(sd_bus_message* m, std::vector<std::string>& into) {
    char** list = nullptr;
    const int r = sd_bus_message_read_strv(m, &list);
    for (char** item = list; item && *item; ++item) {
        into.emplace_back(*item);
        std::free(*item);
    }
    std::free(list);
    return r;
}

// A property's variant, read when it holds the signature the reader expects and skipped otherwise.
int ReadVariant(sd_bus_message* m, const char* signature, const std::function<int()>& read) {
    const char* contents = nullptr;
    int r = sd_bus_message_peek_type(m, nullptr, &contents);
    if (r < 0) return r;
    if (!contents || std::strcmp(contents, signature) != 0) return sd_bus_message_skip(m, "v");
    if ((r = sd_bus_message_enter_container(m, 'v', signature)) < 0) return r;
    if ((r = read()) < 0) return r;
    return sd_bus_message_exit_container(m);
}

int ReadProperty(sd_bus_message* m, const std::string& interface, const std::string& name, Object& o) {
    const auto is = [&](const char* i, const char* n) { return interface == i && name == n; };
    if (is(kDriveInterface, "Removable")) return ReadVariant(m, "b", [&] { return ReadBool(m, o.removable); });
    if (is(kDriveInterface, "MediaRemovable")) return ReadVariant(m, "b", [&] { return ReadBool(m, o.mediaRemovable); });
    if (is(kDriveInterface, "ConnectionBus"))
        return ReadVariant(m, "s", [&] { return ReadText(m, 's', o.connectionBus); });
    if (is(kDriveInterface, "MediaCompatibility"))
        return ReadVariant(m, "as", [&] { return ReadTextList(m, o.mediaCompatibility); });
    if (is(kBlockInterface, "Device")) return ReadVariant(m, "ay", [&] { return ReadBytes(m, o.device); });
    if (is(kBlockInterface, "Symlinks")) return ReadVariant(m, "aay", [&] { return ReadByteList(m, o.symlinks); });
    if (is(kBlockInterface, "DeviceNumber"))
        return ReadVariant(m, "t", [&] { return sd_bus_message_read_basic(m, 't', &o.deviceNumber); });
    if (is(kBlockInterface, "Size")) return ReadVariant(m, "t", [&] { return sd_bus_message_read_basic(m, 't', &o.size); });
    if (is(kBlockInterface, "Drive")) return ReadVariant(m, "o", [&] { return ReadText(m, 'o', o.drive); });
    if (is(kBlockInterface, "CryptoBackingDevice"))
        return ReadVariant(m, "o", [&] { return ReadText(m, 'o', o.cryptoBacking); });
    if (is(kPartitionInterface, "Number"))
        return ReadVariant(m, "u", [&] { return sd_bus_message_read_basic(m, 'u', &o.number); });
    if (is(kPartitionInterface, "Table")) return ReadVariant(m, "o", [&] { return ReadText(m, 'o', o.table); });
    if (is(kPartitionInterface, "IsContainer")) return ReadVariant(m, "b", [&] { return ReadBool(m, o.container); });
    if (is(kFilesystemInterface, "MountPoints"))
        return ReadVariant(m, "aay", [&] { return ReadByteList(m, o.mountPoints); });
    return sd_bus_message_skip(m, "v");
}

// The reply of GetManagedObjects: a{oa{sa{sv}}}.
int ReadObjects(sd_bus_message* m, Objects& objects) {
    int r = sd_bus_message_enter_container(m, 'a', "{oa{sa{sv}}}");
    if (r < 0) return r;
    while ((r = sd_bus_message_enter_container(m, 'e', "oa{sa{sv}}")) > 0) {
        std::string path;
        if ((r = ReadText(m, 'o', path)) < 0) return r;
        Object& object = objects[path];
        if ((r = sd_bus_message_enter_container(m, 'a', "{sa{sv}}")) < 0) return r;
        while ((r = sd_bus_message_enter_container(m, 'e', "sa{sv}")) > 0) {
            std::string interface;
            if ((r = ReadText(m, 's', interface)) < 0) return r;
            object.isDrive |= interface == kDriveInterface;
            object.isBlock |= interface == kBlockInterface;
            object.isPartition |= interface == kPartitionInterface;
            if ((r = sd_bus_message_enter_container(m, 'a', "{sv}")) < 0) return r;
            while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
                std::string name;
                if ((r = ReadText(m, 's', name)) < 0 || (r = ReadProperty(m, interface, name, object)) < 0) return r;
                if ((r = sd_bus_message_exit_container(m)) < 0) return r;
            }
            if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0 || (r = sd_bus_message_exit_container(m)) < 0)
                return r;
        }
        if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0 || (r = sd_bus_message_exit_container(m)) < 0)
            return r;
    }
    return r < 0 ? r : sd_bus_message_exit_container(m);
}

bool TakesCards(const Object& drive) {
    // Optical drives are removable too, but hold no camera's card.
    for (const std::string& medium : drive.mediaCompatibility)
        if (medium.rfind("optical", 0) == 0) return false;
    const std::string& bus = drive.connectionBus;
    return drive.removable || drive.mediaRemovable || bus == "usb" || bus == "sdio" || bus == "mmc";
}

std::string KernelName(const std::string& device) { return device.substr(device.find_last_of('/') + 1); }

RemovableVolume VolumeOf(const Object& block, const std::string& slotKey) {
    RemovableVolume volume;
    volume.slotKey = slotKey;
    volume.name = KernelName(block.device);
    volume.node = block.device;
    volume.devNumber = std::to_string(major(block.deviceNumber)) + ":" + std::to_string(minor(block.deviceNumber));
    volume.sectors = block.size / 512;
    if (!block.mountPoints.empty()) volume.mountPoint = block.mountPoints.front();
    return volume;
}

// The volumes of one drive, as the kernel's view has them: its partitions, or the whole medium
// when it holds no table. The first shares the disk's slot, so a reader keeps its letter across cards.
std::vector<RemovableVolume> VolumesOfDrive(const Objects& objects, const std::string& drivePath) {
    const std::pair<const std::string, Object>* whole = nullptr;
    for (const auto& entry : objects) {
        const Object& o = entry.second;
        if (o.isBlock && !o.isPartition && o.drive == drivePath && (o.cryptoBacking.empty() || o.cryptoBacking == "/"))
            if (!whole || KernelName(o.device) < KernelName(whole->second.device)) whole = &entry;
    }
    if (!whole) return {};
    std::vector<const Object*> partitions;
    for (const auto& [path, o] : objects)
        if (o.isBlock && o.isPartition && o.table == whole->first && !o.container) partitions.push_back(&o);
    std::sort(partitions.begin(), partitions.end(), [](const Object* a, const Object* b) { return a->number < b->number; });

    const std::string disk = KernelName(whole->second.device);
    if (partitions.empty()) return {VolumeOf(whole->second, disk)};
    std::vector<RemovableVolume> volumes;
    for (const Object* p : partitions) volumes.push_back(VolumeOf(*p, volumes.empty() ? disk : KernelName(p->device)));
    return volumes;
}

}  // namespace

struct Udisks::Bus {
    ~Bus() { sd_bus_flush_close_unref(bus); }

    // Every object of the service; nullopt when it does not answer.
    std::optional<Objects> ManagedObjects() {
        Error error;
        Message reply;
        Message call;
        if (sd_bus_message_new_method_call(bus, &call.m, kService, kManager, "org.freedesktop.DBus.ObjectManager",
                                           "GetManagedObjects") < 0)
            return std::nullopt;
        if (sd_bus_call(bus, call.m, kListTimeout, &error.e, &reply.m) < 0) return std::nullopt;
        Objects objects;
        if (ReadObjects(reply.m, objects) < 0) return std::nullopt;
        return objects;
    }

    sd_bus* bus = nullptr;
};

Udisks::Udisks(std::unique_ptr<Bus> bus) : bus_(std::move(bus)) {}
Udisks::~Udisks() = default;

std::unique_ptr<Udisks> Udisks::Connect() {
    auto bus = std::make_unique<Bus>();
    if (sd_bus_open_system(&bus->bus) < 0) return nullptr;
    std::unique_ptr<Udisks> udisks(new Udisks(std::move(bus)));
    if (!udisks->RemovableVolumes()) return nullptr;  // no udisks2 on this bus
    return udisks;
}

std::optional<std::vector<RemovableVolume>> Udisks::RemovableVolumes() {
    std::lock_guard lock(mutex_);
    const auto objects = bus_->ManagedObjects();
    if (!objects) return std::nullopt;
    std::vector<std::vector<RemovableVolume>> drives;
    for (const auto& [path, o] : *objects) {
        if (!o.isDrive || !TakesCards(o)) continue;
        auto volumes = VolumesOfDrive(*objects, path);
        if (!volumes.empty()) drives.push_back(std::move(volumes));
    }
    // In the order of the disks' names, as sysfs lists them, so letters are given alike.
    std::sort(drives.begin(), drives.end(), [](const auto& a, const auto& b) { return a.front().slotKey < b.front().slotKey; });
    std::vector<RemovableVolume> all;
    for (auto& volumes : drives) all.insert(all.end(), volumes.begin(), volumes.end());
    return all;
}

UniqueFd Udisks::OpenReadOnly(const std::string& path, std::uint64_t deviceNumber, std::string& refusal) {
    std::lock_guard lock(mutex_);
    const auto objects = bus_->ManagedObjects();
    if (!objects) {
        refusal = "the desktop's disk service (udisks2) does not answer";
        return UniqueFd();
    }
    char resolved[PATH_MAX];
    const std::string real = ::realpath(path.c_str(), resolved) ? resolved : path;
    std::string object;
    for (const auto& [objectPath, o] : *objects) {
        if (!o.isBlock) continue;
        const bool named = o.device == path || o.device == real ||
                           std::find(o.symlinks.begin(), o.symlinks.end(), path) != o.symlinks.end();
        if ((deviceNumber != 0 && o.deviceNumber == deviceNumber) || named) {
            object = objectPath;
            break;
        }
    }
    if (object.empty()) {
        refusal = "the desktop's disk service (udisks2) does not know " + path;
        return UniqueFd();
    }

    // OpenDevice does not ask for the device alone, so a mounted card opens too; a service older
    // than that method has only OpenForBackup. Either may have polkit ask the user.
    Error error;
    Message reply;
    for (const bool backup : {false, true}) {
        Message call;
        sd_bus_error_free(&error.e);
        if (sd_bus_message_new_method_call(bus_->bus, &call.m, kService, object.c_str(), kBlockInterface,
                                           backup ? "OpenForBackup" : "OpenDevice") < 0 ||
            sd_bus_message_set_allow_interactive_authorization(call.m, 1) < 0 ||
            (backup ? sd_bus_message_append(call.m, "a{sv}", 0) : sd_bus_message_append(call.m, "sa{sv}", "r", 0)) < 0) {
            refusal = "the request to the desktop's disk service could not be made";
            return UniqueFd();
        }
        if (sd_bus_call(bus_->bus, call.m, kOpenTimeout, &error.e, &reply.m) >= 0) break;
        if (backup || !sd_bus_error_has_name(&error.e, SD_BUS_ERROR_UNKNOWN_METHOD)) {
            refusal = std::string("the desktop's disk service (udisks2) refused: ") +
                      (error.e.message ? error.e.message : "no reason given");
            return UniqueFd();
        }
    }
    int fd = -1;
    if (sd_bus_message_read(reply.m, "h", &fd) < 0 || fd < 0) {
        refusal = "the desktop's disk service (udisks2) sent no descriptor";
        return UniqueFd();
    }
    // The message owns the descriptor it carried.
    return UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
}

}  // namespace kelvara
