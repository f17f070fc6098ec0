#include "photos/save_along_scan.h"

#include <deque>
#include <memory>

#include "photos/saver.h"
#include "scan/entry_name.h"

namespace kelvara {
namespace {

// Entries saved after a photo put off, held back to be told of after it, at most: some tens of
// bytes each where they wrote nothing, as a card of chance signatures holds millions.
constexpr std::size_t kHeldMost = 1 << 18;

}  // namespace

// An entry done with, or a photo put off, waiting for the ones before it to be told of.
struct SaveAlongScan::State {
    State(Platform& platform, CommandProgress& frontEnd, FoundPhotoTable& table, Destination& destination,
          const std::string& prefix, const SaveListener& each, const CardUse& card, Along along)
        : progress(frontEnd), destination(destination), table(table), prefix(prefix), each(each),
          saver(platform, progress, table, destination, prefix, false, card, std::move(along)) {}
    // One entry held back: a photo put off, an entry of nothing written (inside another, or none)
    // in a few numbers, or the whole of what became of it.
    struct Held {
        std::int64_t index;
        PhotoStatus status;
        std::int64_t container;
        std::unique_ptr<SavedEntry> entry;
        std::unique_ptr<PutOff> putOff;
    };
    void Hold(SavedEntry&& entry, std::optional<PutOff>&& putOff) {
        Held held{entry.index, entry.status, entry.container, nullptr, nullptr};
        if (putOff) held.putOff = std::make_unique<PutOff>(std::move(*putOff));
        else if (!Plain(entry)) held.entry = std::make_unique<SavedEntry>(std::move(entry));
        this->held.push_back(std::move(held));
    }
    // What is told of an entry that wrote nothing is all in the table and these numbers.
    static bool Plain(const SavedEntry& entry) {
        return (entry.status == PhotoStatus::Inside || entry.status == PhotoStatus::NotAPhoto) && entry.path.empty() &&
               entry.failure.empty() && entry.zeros.empty() && !entry.card;
    }
    void Tell(Held& held) {
        if (held.entry) return Tally(report, *held.entry, each);
        SavedEntry entry;
        entry.index = held.index;
        entry.name = EntryName(prefix, held.index, table[static_cast<std::size_t>(held.index)].Kind);
        entry.status = held.status;
        entry.container = held.container;
        Tally(report, entry, each);
    }
    SaveProgress progress;
    Destination& destination;
    const FoundPhotoTable& table;
    const std::string& prefix;
    const SaveListener& each;
    Saver saver;
    SaveReport report;
    std::deque<Held> held;  // from the first photo put off on, in the table's order
    bool begun = false;
    bool inOrder = true;  // entries are told of in the table's order (see kHeldMost)
};

SaveAlongScan::SaveAlongScan(Platform& platform, CommandProgress& progress, FoundPhotoTable& table, Destination& destination,
                             const std::string& prefix, const SaveListener& each, const CardUse& card, std::int64_t driveEnd,
                             std::function<bool(std::size_t)> awaitEntry, std::function<bool()> releaseOverflow)
    : state_(std::make_unique<State>(platform, progress, table, destination, prefix, each, card,
                                     Along{driveEnd, std::move(awaitEntry), std::move(releaseOverflow)})) {}

SaveAlongScan::~SaveAlongScan() = default;

bool SaveAlongScan::Save(std::int64_t index) {
    State& state = *state_;
    if (!state.begun) {
        state.begun = true;
        if (state.destination.refusal()) state.report.refused = *state.destination.refusal();
    }
    if (!state.report.refused.empty() || state.report.stopped) return false;
    if (state.progress.StopRequested()) {
        state.report.stopped = true;
        return false;
    }
    SavedEntry entry;
    entry.index = index;
    std::optional<PutOff> putOff;
    try {
        entry = state.saver.Save(index, &putOff);
    } catch (const SaveError& error) {
        entry.failure = error.what();
    } catch (const SaveStopped&) {
        state.report.stopped = true;
        return false;
    }
    if (putOff || (state.inOrder && !state.held.empty()))
        state.Hold(std::move(entry), std::move(putOff));
    else
        Tally(state.report, entry, state.each);
    // Past so many held back, memory counts more than their order: the entries saved are told of
    // now, the photos put off after them.
    if (state.inOrder && state.held.size() > kHeldMost) {
        state.inOrder = false;
        std::deque<State::Held> putOffs;
        for (State::Held& held : state.held)
            if (held.putOff) putOffs.push_back(std::move(held));
            else state.Tell(held);
        state.held = std::move(putOffs);
    }
    return true;
}

SaveReport SaveAlongScan::Finish() {
    State& state = *state_;
    if (!state.report.refused.empty()) return state.report;
    for (State::Held& held : state.held) {
        if (held.putOff) {
            // Stopped, what was put off is not saved; what was saved meanwhile is still told of.
            if (state.report.stopped) continue;
            if (state.progress.StopRequested()) {
                state.report.stopped = true;
                continue;
            }
            held.entry = std::make_unique<SavedEntry>();
            try {
                *held.entry = state.saver.Save(*held.putOff);
            } catch (const SaveError& error) {
                *held.entry = SavedEntry{};  // as Save All tells of a photo that failed
                held.entry->index = held.index;
                held.entry->failure = error.what();
            } catch (const SaveStopped&) {
                state.report.stopped = true;
                continue;
            }
        }
        state.Tell(held);
    }
    state.held.clear();
    return state.report;
}

}  // namespace kelvara
