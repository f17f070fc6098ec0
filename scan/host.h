#pragma once
// What the long-running commands (the scans, saving, the disk image, the wipe) read and
// write in the main window. The window implements it with its controls; the tests and the
// command line implement it with plain values.

#include <cstdint>
#include <string>

namespace kelvara {

class Host {
public:
    virtual ~Host() = default;

    // The text of the drive combo: "E:\", or "Select Drive". Read afresh whenever needed,
    // because the user may choose another drive while a command yields.
    virtual std::string DriveString() = 0;
    // The caption of the sector-count label, the one record of the selected drive's size.
    virtual std::string SectorsCaption() = 0;

    // The progress bar; its minimum is 0. A value above the maximum is refused (false) and
    // the bar keeps its value.
    // Sector numbers and counts are 64-bit: cards of more than 2^31 sectors are sold.
    virtual void SetProgressMax(std::int64_t maximum) = 0;
    virtual std::int64_t ProgressMax() = 0;
    virtual bool SetProgressValue(std::int64_t value) = 0;

    virtual void SetCurrentSector(std::int64_t sector) = 0;  // the "current" label, in decimal
    virtual void SetStatus(const std::string& word) = 0;     // "Ready", "Scaning. .", ...
    virtual void SetBusy(bool busy) = 0;                     // while set, a list click does nothing
    virtual void ShowGuidePicture(int index) = 0;            // 1 to 3, in the preview's place

    // Appends an entry to the photo list and selects it.
    virtual void AddFoundEntry(const std::string& name) = 0;

    // A message with an OK button; returns when the user has closed it.
    virtual void ShowMessage(const std::string& text, const std::string& title) = 0;
    // The same for something that went wrong, which the window marks as a warning so that it
    // does not look like news.
    virtual void ShowFailure(const std::string& text, const std::string& title) { ShowMessage(text, title); }
    // A question with Yes (the default) and No; true for Yes.
    virtual bool AskYesNo(const std::string& prompt, const std::string& title) = 0;

    // Lets the event loop run, so the window stays live. Called after every sector: it must
    // be cheap when called often.
    virtual void Yield() = 0;

    // True once the user has asked a long command to stop (Ctrl-C at the command line). The
    // window's commands run to their end, so there it stays false.
    virtual bool StopRequested() { return false; }
};

// Reads a caption as a whole number, as the controls are read back; 0 when it holds none.
std::int64_t CaptionNumber(const std::string& caption);

}  // namespace kelvara
