#include "scan/found_photo.h"

#include <algorithm>
#include <array>
#include <new>
#include <ostream>
#include <stdexcept>
#include <utility>

#include "platform/private_temp_file.h"

namespace kelvara {

DriveText::DriveText(const std::string& text) {
    std::copy_n(text.begin(), std::min(text.size(), text_.size() - 1), text_.begin());
}

std::ostream& operator<<(std::ostream& out, const DriveText& drive) { return out << drive.str(); }

namespace {

constexpr std::size_t kPageRecords = 2048;  // 64 KiB of records
constexpr std::size_t kMemoryPages = 64;    // 4 MiB kept in memory before the file is used
constexpr std::size_t kMostMemoryPages = 1024;  // 64 MiB where no file may be used
constexpr std::size_t kCachedPages = 16;    // what is kept of the file in memory
constexpr std::size_t kPageBytes = kPageRecords * sizeof(FoundPhoto);
constexpr std::size_t kNoPage = static_cast<std::size_t>(-1);

std::unique_ptr<FoundPhoto[]> NewPage() { return std::make_unique<FoundPhoto[]>(kPageRecords); }

std::span<std::uint8_t> BytesOf(FoundPhoto* records) {
    return {reinterpret_cast<std::uint8_t*>(records), kPageBytes};
}

}  // namespace

using SpillOpener = FoundPhotoTable::SpillOpener;

struct FoundPhotoTable::Store {
    struct Cached {
        std::size_t page = kNoPage;
        bool dirty = false;
        std::uint64_t used = 0;  // when it was last asked for: the oldest goes first
        std::unique_ptr<FoundPhoto[]> records = NewPage();
    };

    std::vector<std::unique_ptr<FoundPhoto[]>> memory;  // until the file is used: every page
    std::unique_ptr<PrivateTempFile> file;
    std::string noFile;  // why records stay in memory, once a file was refused
    std::size_t pagesInFile = 0;                         // pages from here on were never written
    std::vector<Cached> cache;
    std::uint64_t clock = 0;

    FoundPhoto* Page(std::size_t page, bool writing) {
        if (!file) {
            while (memory.size() <= page) memory.push_back(NewPage());
            return memory[page].get();
        }
        Cached* slot = nullptr;
        for (Cached& cached : cache)
            if (cached.page == page) slot = &cached;
        if (!slot) {
            slot = &*std::min_element(cache.begin(), cache.end(),
                                      [](const Cached& a, const Cached& b) { return a.used < b.used; });
            Flush(*slot);
            slot->page = kNoPage;
            if (page < pagesInFile) {
                if (!file->ReadAt(std::uint64_t{page} * kPageBytes, BytesOf(slot->records.get())))
                    throw RecordsNotKept("the list of found photos could not be read back from its temporary file");
            } else {
                std::fill_n(slot->records.get(), kPageRecords, FoundPhoto{});
            }
            slot->page = page;
        }
        slot->used = ++clock;
        slot->dirty = slot->dirty || writing;
        return slot->records.get();
    }

    void Flush(Cached& cached) {
        if (cached.page == kNoPage || !cached.dirty) return;
        if (!file->WriteAt(std::uint64_t{cached.page} * kPageBytes, BytesOf(cached.records.get()))) throw NoRoom();
        cached.dirty = false;
        pagesInFile = std::max(pagesInFile, cached.page + 1);
    }

    // Every page so far goes to the file; from here on only a few are kept.
    static RecordsNotKept NoRoom() {
        return RecordsNotKept("the temporary folder has no room left for the list of found photos");
    }

    // Past what memory keeps, the records go to a file; where none may be had they stay in
    // memory a while longer, and past that the scan is told why they cannot be kept.
    void MoveToFile(const SpillOpener& opener) {
        if (!noFile.empty()) throw RecordsNotKept(noFile);
        std::string why = "no temporary file can be made for the list of found photos";
        file = opener ? opener(why) : OpenPrivateTempFile();
        if (!file) {
            noFile = why;
            return;
        }
        for (std::size_t page = 0; page < memory.size(); ++page) {
            if (!file->WriteAt(std::uint64_t{page} * kPageBytes, BytesOf(memory[page].get()))) {
                file.reset();
                throw NoRoom();
            }
        }
        pagesInFile = memory.size();
        cache.resize(kCachedPages);
        memory.clear();
        memory.shrink_to_fit();
    }
};

FoundPhotoTable::FoundPhotoTable() = default;

FoundPhotoTable::FoundPhotoTable(std::initializer_list<FoundPhoto> records) : FoundPhotoTable() {
    for (const FoundPhoto& record : records) push_back(record);
}

FoundPhotoTable::FoundPhotoTable(const FoundPhotoTable& other) : FoundPhotoTable() {
    for (std::size_t i = 0; i < other.size(); ++i) push_back(other[i]);
}

FoundPhotoTable& FoundPhotoTable::operator=(const FoundPhotoTable& other) {
    if (this != &other) {
        FoundPhotoTable copy(other);
        *this = std::move(copy);
    }
    return *this;
}

FoundPhotoTable::FoundPhotoTable(FoundPhotoTable&& other) noexcept
    : store_(std::move(other.store_)), size_(std::exchange(other.size_, 0)) {}

FoundPhotoTable& FoundPhotoTable::operator=(FoundPhotoTable&& other) noexcept {
    if (this != &other) {
        store_ = std::move(other.store_);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

FoundPhotoTable::~FoundPhotoTable() = default;

FoundPhoto& FoundPhotoTable::Slot(std::size_t index, bool writing) const {
    if (!store_) store_ = std::make_unique<Store>();
    return store_->Page(index / kPageRecords, writing)[index % kPageRecords];
}

FoundPhoto FoundPhotoTable::operator[](std::size_t index) const {
    if (index >= size_) throw std::out_of_range("no found photo " + std::to_string(index));
    return Slot(index, false);
}

void FoundPhotoTable::push_back(const FoundPhoto& record) {
    if ((size_ == kMemoryPages * kPageRecords || size_ == kMostMemoryPages * kPageRecords) && store_ && !store_->file)
        store_->MoveToFile(spill_);
    Slot(size_, true) = record;
    ++size_;
}

void FoundPhotoTable::pop_back() {
    if (size_ > 0) --size_;
}

void FoundPhotoTable::clear() {
    store_.reset();
    size_ = 0;
}

void FoundPhotoTable::assign(std::size_t count, const FoundPhoto& record) {
    clear();
    for (std::size_t i = 0; i < count; ++i) push_back(record);
}

void FoundPhotoTable::resize(std::size_t count) {
    while (size_ > count) pop_back();
    while (size_ < count) push_back({});
}

void FoundPhotoTable::Set(std::size_t index, const FoundPhoto& record) {
    if (index >= size_) throw std::out_of_range("no found photo " + std::to_string(index));
    Slot(index, true) = record;
}

void FoundPhotoTable::SetEndSector(std::size_t index, std::int64_t endSector) {
    if (index >= size_) throw std::out_of_range("no found photo " + std::to_string(index));
    Slot(index, true).EndSector = endSector;
}

void FoundPhotoTable::SetStatus(std::size_t index, PhotoStatus status) {
    if (index >= size_) throw std::out_of_range("no found photo " + std::to_string(index));
    Slot(index, true).Status = status;
}

bool FoundPhotoTable::OnDisk() const { return store_ && store_->file; }

}  // namespace kelvara
