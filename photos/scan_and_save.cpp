#include "photos/scan_and_save.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "diskio/sector.h"
#include "formats/format_table.h"
#include "photos/card_window.h"
#include "photos/drive_bytes.h"
#include "photos/overflow.h"
#include "photos/save_along_scan.h"

namespace kelvara {
namespace {

// The scan ended by an error of its own: the save going along gives up at once.
struct ScanAbandoned {};

// Stands between the card and both readers: the scan's reads go to the card and into the window,
// the save's are served from the window, wait for the scan to read on, or go to the card.
class Relay final : public SectorTap {
public:
    Relay(FoundPhotoTable& table, std::size_t windowBytes, std::function<std::unique_ptr<PrivateTempFile>()> openOverflow)
        : table_(table), window_(windowBytes), overflow_(std::move(openOverflow)) {}

    std::int32_t Read(std::int64_t first, std::span<std::uint8_t> into, SectorRanges* unreadable,
                      const CardRead& card) override {
        if (std::this_thread::get_id() == saverId_) return SaverRead(first, into, unreadable, card);
        return ScanRead(first, into, unreadable, card);
    }

    // Starts the save on its own thread; it runs only when the scan hands over.
    void Start(std::function<void()> save) {
        saver_ = std::thread([this, save = std::move(save)] {
            {
                std::unique_lock lock(mutex_);
                turn_.wait(lock, [this] { return saverTurn_; });
            }
            try {
                if (!abandoned_) save();
            } catch (const ScanAbandoned&) {
            } catch (...) {
                error_ = std::current_exception();
            }
            std::lock_guard lock(mutex_);
            saverDone_ = true;
            saverTurn_ = false;
            turn_.notify_all();
        });
        saverId_ = saver_.get_id();
    }

    // The scan has ended (by an error of its own when `abandoned`): the save finishes, and what it
    // threw is thrown here.
    void End(bool abandoned) {
        {
            std::lock_guard lock(mutex_);
            scanDone_ = true;
            abandoned_ = abandoned;
            scanEnd_ = table_.empty() ? 0 : table_.back().EndSector;
        }
        if (!saverDone_) HandToSaver();
        saver_.join();
        if (error_ && !abandoned) std::rethrow_exception(error_);
    }

    // The save's side. It is at entry `index`: the bytes from its start on are kept until it is saved.
    void SavingFrom(std::size_t index) { saving_ = index; }

    // What is kept of long photos goes for good (Overflow::Release); while the scan waits.
    bool ReleaseOverflow() { return overflow_.Release(); }

    // Waits until the table holds entry `index`; false when the scan ended first.
    bool AwaitEntry(std::size_t index) {
        while (table_.size() <= index && !scanDone_) Await(0, index + 1);
        return table_.size() > index;
    }

private:
    // The scan's reads follow each other; one that does not is a look at a format's head ahead.
    std::int32_t ScanRead(std::int64_t first, std::span<std::uint8_t> into, SectorRanges* unreadable, const CardRead& card) {
        if (first != window_.High()) return card(first, into, unreadable);
        // Every entry before this read is in the table now: the save may go on to here.
        if (!saverDone_ && window_.High() >= needSectors_ && table_.size() >= needEntries_) HandToSaver();
        SectorRanges bad;
        const std::int32_t held = card(first, into, &bad);
        if (unreadable) unreadable->Add(bad);
        const auto kept = static_cast<std::size_t>(std::clamp<std::int64_t>(held, 0, static_cast<std::int64_t>(into.size() / kSectorSize)));
        KeepWhatGoes(into.first(kept * kSectorSize), bad);
        window_.Add(first, into.first(kept * kSectorSize), bad);
        return held;
    }

    // Before the window takes in `bytes`: what it lets go of (and of a read longer than it, what it
    // never holds) of the photo the save is at, into the overflow.
    void KeepWhatGoes(std::span<const std::uint8_t> bytes, const SectorRanges& unreadable) {
        if (saving_ >= table_.size() || table_[saving_].StartSector < 0) return;
        // From the piece the save reads the photo's start in.
        const std::int64_t from = table_[saving_].StartSector / DriveBytes::kPieceSectors * DriveBytes::kPieceSectors;
        const auto incoming = static_cast<std::int64_t>(bytes.size() / kSectorSize);
        const std::int64_t going = window_.High() - window_.Low() + incoming - window_.Capacity();
        if (going <= 0 || !overflow_.Wants(from, window_.Low(), going)) return;
        const std::int64_t keep = std::min(going, NeededUpTo() - window_.Low());
        if (keep <= 0) return;
        const std::int64_t held = window_.High() - window_.Low();
        held_.resize(static_cast<std::size_t>(std::min(keep, held)) * kSectorSize);
        SectorRanges heldUnreadable;
        if (!held_.empty() && window_.Copy(window_.Low(), held_, &heldUnreadable))
            overflow_.Keep(from, window_.Low(), held_, heldUnreadable);
        if (keep > held)
            overflow_.Keep(from, window_.High(), bytes.first(static_cast<std::size_t>(keep - held) * kSectorSize), unreadable);
    }

    // Up to where the photo the save is at may need what the scan reads: walked over what was read
    // of it so far when it is first about to be kept and each time the scan has gone twice as far,
    // it is open while its walk asks for what the scan has not read yet. One whose structure ended
    // or broke off before that (the last photo before old data to the card's end, say) needs
    // nothing past the piece after the one where it did.
    std::int64_t NeededUpTo() {
        const FoundPhoto photo = table_[saving_];
        if (saving_ != walked_) {
            walked_ = saving_;
            neededUpTo_ = INT64_MAX;
            nextWalk_ = 0;
        }
        if (neededUpTo_ != INT64_MAX || window_.High() < nextWalk_) return neededUpTo_;
        nextWalk_ = photo.StartSector + 2 * (window_.High() - photo.StartSector);
        ReadSoFar bytes(*this, photo.StartSector);
        const Walk walk = formats::WalkStructure(photo.Kind, bytes);
        if (!bytes.AskedPast()) {
            const std::int64_t end = photo.StartSector + static_cast<std::int64_t>(walk.end.value_or(walk.reached) / kSectorSize) + 1;
            // With the piece after, where the save looks at what follows it.
            neededUpTo_ = (end / DriveBytes::kPieceSectors + 2) * DriveBytes::kPieceSectors;
        }
        return neededUpTo_;
    }

    // A photo's bytes from sector `first` on as the scan read them, from the overflow and the
    // window; none past where it has read to, and none of what gave way unkept.
    class ReadSoFar final : public ByteSource {
    public:
        ReadSoFar(Relay& relay, std::int64_t first) : relay_(relay), first_(first) {}
        std::span<const std::uint8_t> From(std::uint64_t offset) override {
            const std::int64_t sector = first_ + static_cast<std::int64_t>(offset / kSectorSize);
            if (sector < first_) return {};
            if (sector >= relay_.window_.High()) {
                askedPast_ = true;  // what it needs is still to come
                return {};
            }
            const bool gone = sector < relay_.window_.Low();
            const std::int64_t count = std::min<std::int64_t>(128, (gone ? relay_.window_.Low() : relay_.window_.High()) - sector);
            buffer_.resize(static_cast<std::size_t>(count) * kSectorSize);
            if (!(gone ? relay_.overflow_.Copy(sector, buffer_, nullptr) : relay_.window_.Copy(sector, buffer_, nullptr))) {
                askedPast_ = true;  // not known here: taken to go on
                return {};
            }
            return std::span<const std::uint8_t>(buffer_).subspan(static_cast<std::size_t>(offset % kSectorSize));
        }
        bool AskedPast() const { return askedPast_; }

    private:
        Relay& relay_;
        std::int64_t first_;
        std::vector<std::uint8_t> buffer_;
        bool askedPast_ = false;
    };

    std::int32_t SaverRead(std::int64_t first, std::span<std::uint8_t> into, SectorRanges* unreadable, const CardRead& card) {
        const std::int64_t end = first + static_cast<std::int64_t>(into.size() / kSectorSize);
        // The drive ends for the save where the scan ended, as it does for a save after the scan.
        if (scanDone_ && end > scanEnd_) {
            const std::int64_t within = std::clamp<std::int64_t>(scanEnd_ - first, 0, end - first);
            std::fill(into.begin() + within * kSectorSize, into.end(), std::uint8_t{0});
            return within == 0 ? 0 : SaverRead(first, into.first(static_cast<std::size_t>(within) * kSectorSize), unreadable, card);
        }
        for (;;) {
            if (window_.Copy(first, into, unreadable)) return static_cast<std::int32_t>(into.size() / kSectorSize);
            if (CopyKept(first, into, unreadable)) return static_cast<std::int32_t>(into.size() / kSectorSize);
            // Behind the window, or further on than it reaches from where the scan is: read from the
            // card (a walk jumping far ahead reads little there; the scan brings the bytes between).
            if (scanDone_ || first < window_.Low() || end > window_.High() + window_.Capacity()) break;
            // A few reads on (the read's own start kept), so the two take turns a few times a photo,
            // not at every read.
            Await(std::max(end, std::min(end + window_.Capacity() / 8, first + window_.Capacity())), 0);
        }
        return card(first, into, unreadable);
    }

    // Sectors the window let go of, from the overflow, with those still held after them from the window.
    bool CopyKept(std::int64_t first, std::span<std::uint8_t> into, SectorRanges* unreadable) {
        const std::int64_t end = first + static_cast<std::int64_t>(into.size() / kSectorSize);
        const std::int64_t split = std::min(end, overflow_.High());
        if (split <= first || (split < end && split < window_.Low())) return false;
        SectorRanges bad;
        const std::size_t kept = static_cast<std::size_t>(split - first) * kSectorSize;
        if (!overflow_.Copy(first, into.first(kept), &bad)) return false;
        if (split < end && !window_.Copy(split, into.subspan(kept), &bad)) return false;
        if (unreadable) unreadable->Add(bad);
        return true;
    }

    // The save waits for the scan to have read up to `sectors` and recorded `entries`.
    void Await(std::int64_t sectors, std::size_t entries) {
        if (abandoned_) throw ScanAbandoned{};
        if (scanDone_) return;
        needSectors_ = sectors;
        needEntries_ = entries;
        HandToScan();
        if (abandoned_) throw ScanAbandoned{};
    }

    void HandToSaver() {
        std::unique_lock lock(mutex_);
        saverTurn_ = true;
        turn_.notify_all();
        turn_.wait(lock, [this] { return !saverTurn_; });
    }

    void HandToScan() {
        std::unique_lock lock(mutex_);
        saverTurn_ = false;
        turn_.notify_all();
        turn_.wait(lock, [this] { return saverTurn_; });
    }

    FoundPhotoTable& table_;
    CardWindow window_;
    Overflow overflow_;
    std::vector<std::uint8_t> held_;  // what the window lets go of, on its way to the overflow
    std::size_t saving_ = 0;          // the entry the save is at
    std::size_t walked_ = SIZE_MAX;   // the one NeededUpTo walked last: what it needs, and when it is walked again
    std::int64_t neededUpTo_ = INT64_MAX;
    std::int64_t nextWalk_ = 0;
    std::mutex mutex_;
    std::condition_variable turn_;
    bool saverTurn_ = false;
    bool saverDone_ = false;
    bool scanDone_ = false;
    bool abandoned_ = false;
    std::int64_t scanEnd_ = 0;      // once the scan is done: where it took the drive to end
    std::int64_t needSectors_ = 0;  // what the save waits for
    std::size_t needEntries_ = 0;
    std::thread saver_;
    std::thread::id saverId_;
    std::exception_ptr error_;
};

// The card read through the relay while it is held.
struct Tapped {
    Tapped(SectorSource& source, SectorTap& tap) : source(source) { source.SetTap(&tap); }
    ~Tapped() { source.SetTap(nullptr); }
    SectorSource& source;
};

}  // namespace

ScanAndSaveReport ScanAndSave(const ScanContext& scan, CommandProgress& saveProgress, Destination& destination,
                              const std::string& prefix, const SaveListener& each, const CardUse& card,
                              std::size_t windowBytes) {
    if (card.source != &scan.source)
        throw std::invalid_argument("the scan and the save going along behind it read one card");
    FoundPhotoTable& table = scan.table;
    Relay relay(table, windowBytes, OverflowFileIn(destination));
    const Tapped tapped(scan.source, relay);
    // The drive's end as the scan will take it, before it gets there.
    const std::int64_t driveEnd = std::clamp<std::int64_t>(scan.sectors, 0, kMaxSectors);
    ScanAndSaveReport report;
    relay.Start([&] {
        SaveAlongScan along(scan.platform, saveProgress, table, destination, prefix, each, card, driveEnd,
                            [&relay](std::size_t index) { return relay.AwaitEntry(index); },
                            [&relay] { return relay.ReleaseOverflow(); });
        for (std::size_t i = 0;; ++i) {
            relay.SavingFrom(i);
            relay.AwaitEntry(i + 1);  // an entry's run is known once the next one is recorded, or the scan ended
            if (i >= table.size()) break;
            if (!along.Save(static_cast<std::int64_t>(i))) break;
        }
        report.save = along.Finish();
    });
    try {
        report.scan = ScanWinNT(scan);
    } catch (...) {
        relay.End(true);
        throw;
    }
    relay.End(false);
    return report;
}

}  // namespace kelvara
