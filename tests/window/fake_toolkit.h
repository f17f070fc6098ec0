#pragma once
// The windows without a toolkit: views that show nothing but keep what their core told them,
// as the user would see it, and let a test act as the user does (press, choose, type, close).
// A disabled or hidden control takes no act, as on the screen. Message boxes are recorded and
// answered; acts scheduled by the test run whenever the program lets events run.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "window/toolkit.h"

namespace kelvara::testing {

class FakeToolkit;

class FakeView : public WindowView {
public:
    FakeView(FakeToolkit& toolkit, const WindowLayout& layout, WindowEvents& events, WindowView* owner);
    ~FakeView() override;

    // --- what the window shows ---------------------------------------------------------------
    const WindowLayout& layout() const { return layout_; }
    WindowView* owner() const { return owner_; }
    bool shown() const { return shown_; }
    bool closed() const { return closed_; }
    const std::string& Text(int control) const;  // 0: the title
    bool Enabled(int control) const;
    bool Visible(int control) const;
    int focus() const { return focus_; }
    Rect RectOf(int control) const;
    const std::vector<std::string>& Entries(int control) const;
    int Selected(int control) const;
    std::int64_t EntryCount(int control) const;
    std::int64_t SelectedRow(int control) const;
    std::string EntryText(int control, std::int64_t row) const { return events_.EntryText(control, row); }
    std::string EntryTooltip(int control, std::int64_t row) const { return events_.EntryTooltip(control, row); }
    bool Checked(int control) const { return checked_.count(control) && checked_.at(control); }
    std::pair<int, int> Progress(int control) const;  // maximum, value
    std::pair<ImageListId, int> Picture(int control) const;
    // What the browser was given: pages navigated to, picture files, the document.
    const std::vector<std::string>& Navigations(int browser) const;
    const std::vector<std::string>& PictureFiles(int browser) const;
    const HelpDocument* Document(int browser) const;
    int repaints = 0;
    std::vector<std::pair<int, int>> progressShown;  // every change of a progress bar: maximum, value

    // --- what the user does ------------------------------------------------------------------
    void Click(int control);
    void Choose(int control, std::int64_t index);
    void Open(int control, std::int64_t index);
    void DropDown(int control);
    void Type(int control, const std::string& text);
    void PressEnter();   // the default button
    void PressEscape();  // the cancel button
    bool CloseBox();     // true when the window closed
    void Resize(Size client);
    bool Usable(int control) const;  // enabled and on the screen

    // --- WindowView ----------------------------------------------------------------------------
    void Show() override;
    void Close() override;
    bool IsShown() const override { return shown_; }
    Point Position() override { return position_; }
    Size OuterSize() override;
    void MoveTo(Point at) override { position_ = at; }
    void Repaint() override { ++repaints; }
    void SetText(int control, const std::string& text) override { texts_[control] = text; }
    void SetEnabled(int control, bool enabled) override { enabled_[control] = enabled; }
    void SetVisible(int control, bool visible) override { visible_[control] = visible; }
    void SetFocus(int control) override { focus_ = control; }
    void Place(int control, Rect rect) override { rects_[control] = rect; }
    void SetPicture(int control, ImageListId list, int index) override { pictures_[control] = {list, index}; }
    void SetEntries(int control, const std::vector<std::string>& entries, int selected) override;
    void SetEntryCount(int control, std::int64_t count) override;
    void SelectEntry(int control, std::int64_t row) override { selectedRows_[control] = row; }
    void SetChecked(int control, bool checked) override { checked_[control] = checked; }
    void SetProgress(int control, int maximum, int value) override {
        if (progress_[control] != std::pair{maximum, value}) progressShown.push_back({maximum, value});
        progress_[control] = {maximum, value};
    }
    void HostBrowser(int browser, int pane, Rect paneRect, Rect browserInPane, Size picture) override;
    void Navigate(int browser, const std::string& address) override { navigations_[browser].push_back(address); }
    void ShowPictureFile(int browser, const std::string& path) override { pictureFiles_[browser].push_back(path); }
    void ShowDocument(int browser, const HelpDocument& document) override { documents_[browser] = document; }

    // The pane that holds a browser, and where the browser lies in it.
    int paneOf = 0;
    Rect paneRect, browserInPane;
    Size panePicture;

private:
    FakeToolkit& toolkit_;
    WindowLayout layout_;
    WindowEvents& events_;
    WindowView* owner_;
    bool shown_ = false;
    bool closed_ = false;
    std::map<int, bool> checked_;
    Point position_;
    int focus_ = 0;
    std::map<int, std::string> texts_;
    std::map<int, bool> enabled_, visible_;
    std::map<int, Rect> rects_;
    std::map<int, std::vector<std::string>> entries_;
    std::map<int, int> selected_;
    std::map<int, std::int64_t> counts_, selectedRows_;
    std::map<int, std::pair<int, int>> progress_;
    std::map<int, std::pair<ImageListId, int>> pictures_;
    std::map<int, std::vector<std::string>> navigations_, pictureFiles_;
    std::map<int, HelpDocument> documents_;
};

class FakeToolkit : public Toolkit {
public:
    FakeToolkit();
    ~FakeToolkit() override;

    // Every view alive, in the order they were made.
    std::vector<FakeView*> views;
    // The newest view on the screen with this title; nullptr when there is none.
    FakeView* Shown(const std::string& title) const;
    int CountShown(const std::string& title) const;

    // Message boxes: every one shown, and how they are answered (by `onMessage` when set, else
    // the next of `answers`, else `answer`).
    std::vector<Message> messages;
    std::deque<bool> answers;
    bool answer = true;
    std::function<bool(const Message&)> onMessage;
    std::vector<std::string> Texts() const;

    // Acts of the user while the program lets events run: each runs at every ProcessEvents or
    // WaitForEvents until it returns true.
    void WhileWaiting(std::function<bool()> act) { acts_.push_back(std::move(act)); }
    long processed = 0;  // how often events were let run
    long waited = 0;     // how often the program rested for events

    Rect screen{0, 0, 1280, 800};
    Rect workArea{0, 0, 1280, 760};
    Size frame{8, 31};  // what a frame adds to a window's client area
    bool browserRenders = true;
    std::string helpAddress = "qrc:/kelvara/help/quickstart.htm";
    std::string helpText = "<h1>Quick Start</h1><p>Press <b>Scan</b>.</p>";

    // Toolkit
    std::unique_ptr<WindowView> MakeView(const WindowLayout& layout, WindowEvents& events, WindowView* owner) override;
    bool ShowMessage(WindowView* owner, const Message& message) override;
    void ProcessEvents() override;
    void WaitForEvents(int milliseconds) override;
    Rect Screen() override { return screen; }
    Rect WorkArea() override { return workArea; }
    // Six pixels a character, and a frame's icon and buttons beside a title of seven.
    int CaptionWidth(const std::string& caption, WindowLayout::Face) override { return 6 * int(caption.size()); }
    int TitleWidth(const std::string& title) override { return 7 * int(title.size()) + 120; }
    bool BrowserRenders() override { return browserRenders; }
    std::string HelpPageAddress() override { return helpAddress; }
    std::string HelpPageText() override { return helpText; }

private:
    void RunActs();
    std::vector<std::function<bool()>> acts_;
    bool running_ = false;
};

}  // namespace kelvara::testing
