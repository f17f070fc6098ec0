#pragma once
// How a long command (a scan, a save, the disk image, the wipe) tells its front end how far it
// got, and hears that the user wants it stopped. The window shows it on its progress bar and lets
// its events run meanwhile; the command line draws its meter and watches for Ctrl-C.

#include <cstdint>

namespace kelvara {

class CommandProgress {
public:
    virtual ~CommandProgress() = default;

    // A count of `total` steps begins, none done yet. Sector numbers and counts are 64-bit.
    virtual void Total(std::int64_t total) = 0;
    // `done` steps are done (told again, they still are): the window lets its events run here.
    // Called after every sector: it must be cheap when called often.
    virtual void Advance(std::int64_t done) = 0;
    // The sector a scan tests now, for the window's "current" label.
    virtual void AtSector(std::int64_t) {}
    // True once the user asked the command to stop. Asked between reads.
    virtual bool StopRequested() = 0;
};

}  // namespace kelvara
