#pragma once
// Between a window's core and its view. The core decides everything (state, enabling, texts,
// places, what a click does) and tells the view through WindowView; the view creates the
// controls of the layout, draws, and tells the core of the user's acts through WindowEvents.
// Controls are named by their numbers (window/control_ids.h); 0 is the window itself.

#include <cstdint>
#include <string>
#include <vector>

#include "resources/pictures.h"
#include "window/geometry.h"
#include "window/help_document.h"

namespace kelvara {

// What the user did in a window. A view reports acts of the user only, never its own changes
// made at the core's word.
class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    // A button or toolbar button was pressed (by the mouse, Space, Enter on the default button,
    // Escape on the cancel button).
    virtual void Clicked(int /*control*/) {}
    // An entry of a combo or list was chosen: the selection moved to it, or the entry already
    // selected was clicked again.
    virtual void Chosen(int /*control*/, std::int64_t /*index*/) {}
    // An entry of a folder list was opened (double click, or Enter where the list takes it).
    virtual void Opened(int /*control*/, std::int64_t /*index*/) {}
    // A combo's list is about to drop down.
    virtual void DroppedDown(int /*control*/) {}
    // Not the user's act but the system's: a drive came or went.
    virtual void DrivesChanged() {}
    virtual void TextChanged(int /*control*/, const std::string& /*text*/) {}
    // The close box, Alt+F4 or the system menu. True lets the window close.
    virtual bool CloseAsked() { return true; }
    // The client area has a new size (also when the window is first shown).
    virtual void Resized(Size /*client*/) {}
    // The text of entry `row` of an EntryList, asked for whenever it is drawn.
    virtual std::string EntryText(int /*control*/, std::int64_t /*row*/) { return {}; }
    // The tooltip of entry `row` of an EntryList, asked for when the pointer rests on it; empty: none.
    virtual std::string EntryTooltip(int /*control*/, std::int64_t /*row*/) { return {}; }
};

class WindowView {
public:
    virtual ~WindowView() = default;

    virtual void Show() = 0;
    virtual void Close() = 0;  // off the screen for good; no CloseAsked
    virtual bool IsShown() const = 0;
    // The window's outer place on the screen, frame and title bar included.
    virtual Point Position() = 0;
    virtual Size OuterSize() = 0;
    virtual void MoveTo(Point outerTopLeft) = 0;
    // Draws what changed now, without waiting for the event loop.
    virtual void Repaint() = 0;

    // A label's or button's caption, a text box's text, or (control 0) the window's title.
    virtual void SetText(int control, const std::string& text) = 0;
    virtual void SetEnabled(int control, bool enabled) = 0;
    virtual void SetVisible(int control, bool visible) = 0;
    virtual void SetFocus(int control) = 0;
    virtual void Place(int control, Rect rect) = 0;
    virtual void SetPicture(int control, ImageListId list, int index) = 0;
    // The entries of a combo or folder list, and the one selected (-1: none).
    virtual void SetEntries(int control, const std::vector<std::string>& entries, int selected) = 0;
    // An EntryList's number of entries; their texts come from WindowEvents::EntryText.
    virtual void SetEntryCount(int control, std::int64_t count) = 0;
    // Selects an entry of a list (-1: none) and scrolls it into sight.
    virtual void SelectEntry(int control, std::int64_t row) = 0;
    virtual void SetProgress(int control, int maximum, int value) = 0;
    // Ticks a check box, or clears it.
    virtual void SetChecked(int control, bool checked) = 0;

    // Makes `pane` at `paneRect` (a picture box with a sunken 2-pixel border, hidden) the
    // container of `browser`, which goes to `browserInPane` in the pane's client area; the pane
    // clips what lies outside it, so a browser's own frame and scroll bars are out of sight.
    // `picture` is the size the pages shown there draw their picture at: a browser without a
    // frame of its own shows the whole of it in the pane.
    virtual void HostBrowser(int browser, int pane, Rect paneRect, Rect browserInPane, Size picture) = 0;
    // Loads a local page or an address in a browser.
    virtual void Navigate(int browser, const std::string& address) = 0;
    // Where the browser cannot show pages: a picture file drawn stretched over the place of the
    // page (the pane's client area), or a document as formatted text filling the browser's place.
    virtual void ShowPictureFile(int browser, const std::string& path) = 0;
    virtual void ShowDocument(int browser, const HelpDocument& document) = 0;
};

}  // namespace kelvara
