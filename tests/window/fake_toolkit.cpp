#include "tests/window/fake_toolkit.h"

#include <algorithm>

namespace kelvara::testing {

FakeView::FakeView(FakeToolkit& toolkit, const WindowLayout& layout, WindowEvents& events, WindowView* owner)
    : toolkit_(toolkit), layout_(layout), events_(events), owner_(owner), focus_(layout.focus) {
    texts_[0] = layout.title;
    for (const ControlLayout& control : layout.controls) {
        texts_[control.id] = control.caption;
        rects_[control.id] = control.rect;
    }
    toolkit_.views.push_back(this);
}

FakeView::~FakeView() { std::erase(toolkit_.views, this); }

const std::string& FakeView::Text(int control) const {
    static const std::string none;
    const auto found = texts_.find(control);
    return found == texts_.end() ? none : found->second;
}

bool FakeView::Enabled(int control) const {
    const auto found = enabled_.find(control);
    return found == enabled_.end() || found->second;
}

bool FakeView::Visible(int control) const {
    const auto found = visible_.find(control);
    return found == visible_.end() || found->second;
}

Rect FakeView::RectOf(int control) const {
    const auto found = rects_.find(control);
    return found == rects_.end() ? Rect{} : found->second;
}

const std::vector<std::string>& FakeView::Entries(int control) const {
    static const std::vector<std::string> none;
    const auto found = entries_.find(control);
    return found == entries_.end() ? none : found->second;
}

int FakeView::Selected(int control) const {
    const auto found = selected_.find(control);
    return found == selected_.end() ? -1 : found->second;
}

std::int64_t FakeView::EntryCount(int control) const {
    const auto found = counts_.find(control);
    return found == counts_.end() ? 0 : found->second;
}

std::int64_t FakeView::SelectedRow(int control) const {
    const auto found = selectedRows_.find(control);
    return found == selectedRows_.end() ? -1 : found->second;
}

std::pair<int, int> FakeView::Progress(int control) const {
    const auto found = progress_.find(control);
    return found == progress_.end() ? std::pair{-1, -1} : found->second;
}

std::pair<ImageListId, int> FakeView::Picture(int control) const {
    const auto found = pictures_.find(control);
    return found == pictures_.end() ? std::pair{ImageListId::ImageList2, 0} : found->second;
}

const std::vector<std::string>& FakeView::Navigations(int browser) const {
    static const std::vector<std::string> none;
    const auto found = navigations_.find(browser);
    return found == navigations_.end() ? none : found->second;
}

const std::vector<std::string>& FakeView::PictureFiles(int browser) const {
    static const std::vector<std::string> none;
    const auto found = pictureFiles_.find(browser);
    return found == pictureFiles_.end() ? none : found->second;
}

const HelpDocument* FakeView::Document(int browser) const {
    const auto found = documents_.find(browser);
    return found == documents_.end() ? nullptr : &found->second;
}

bool FakeView::Usable(int control) const {
    if (!shown_ || !Enabled(control) || !Visible(control)) return false;
    // A control inside a frame goes with it.
    if (const ControlLayout* placed = layout_.Find(control); placed && placed->parent)
        return Usable(placed->parent);
    return true;
}

void FakeView::Click(int control) {
    if (!Usable(control)) return;
    // A check box ticks or clears itself as it is clicked, before the window hears of it.
    const ControlLayout* placed = layout_.Find(control);
    if (placed && placed->kind == ControlKind::CheckBox) checked_[control] = !Checked(control);
    events_.Clicked(control);
}

void FakeView::Choose(int control, std::int64_t index) {
    if (!Usable(control)) return;
    const ControlLayout* placed = layout_.Find(control);
    if (placed && placed->kind == ControlKind::EntryList)
        selectedRows_[control] = index;
    else
        selected_[control] = static_cast<int>(index);
    events_.Chosen(control, index);
}

void FakeView::Open(int control, std::int64_t index) {
    if (Usable(control)) events_.Opened(control, index);
}

void FakeView::DropDown(int control) {
    if (Usable(control)) events_.DroppedDown(control);
}

void FakeView::Type(int control, const std::string& text) {
    if (!Usable(control)) return;
    texts_[control] = text;
    events_.TextChanged(control, text);
}

void FakeView::PressEnter() {
    if (const int button = layout_.DefaultButton()) Click(button);
}

void FakeView::PressEscape() {
    if (const int button = layout_.CancelButton()) Click(button);
}

bool FakeView::CloseBox() {
    if (!shown_ || !events_.CloseAsked()) return false;
    shown_ = false;
    closed_ = true;
    return true;
}

void FakeView::Resize(Size client) {
    layout_.client = client;
    events_.Resized(client);
}

void FakeView::Show() {
    if (closed_) return;
    shown_ = true;
    events_.Resized(layout_.client);
}

void FakeView::Close() {
    shown_ = false;
    closed_ = true;
}

Size FakeView::OuterSize() {
    // The frame is there only once the window is on the screen.
    if (!shown_) return layout_.client;
    return {layout_.client.width + toolkit_.frame.width, layout_.client.height + toolkit_.frame.height};
}

void FakeView::SetEntries(int control, const std::vector<std::string>& entries, int selected) {
    entries_[control] = entries;
    selected_[control] = selected;
}

void FakeView::SetEntryCount(int control, std::int64_t count) {
    counts_[control] = count;
    if (SelectedRow(control) >= count) selectedRows_[control] = -1;
}

void FakeView::HostBrowser(int, int pane, Rect inWindow, Rect browserRect, Size picture) {
    paneOf = pane;
    paneRect = inWindow;
    browserInPane = browserRect;
    panePicture = picture;
    visible_[pane] = false;
}

FakeToolkit::FakeToolkit() = default;
FakeToolkit::~FakeToolkit() = default;

FakeView* FakeToolkit::Shown(const std::string& title) const {
    for (auto view = views.rbegin(); view != views.rend(); ++view)
        if ((*view)->shown() && (*view)->Text(0) == title) return *view;
    return nullptr;
}

int FakeToolkit::CountShown(const std::string& title) const {
    return static_cast<int>(
        std::count_if(views.begin(), views.end(), [&](FakeView* view) { return view->shown() && view->Text(0) == title; }));
}

std::vector<std::string> FakeToolkit::Texts() const {
    std::vector<std::string> texts;
    for (const Message& message : messages) texts.push_back(message.text);
    return texts;
}

std::unique_ptr<WindowView> FakeToolkit::MakeView(const WindowLayout& layout, WindowEvents& events, WindowView* owner) {
    return std::make_unique<FakeView>(*this, layout, events, owner);
}

bool FakeToolkit::ShowMessage(WindowView*, const Message& message) {
    messages.push_back(message);
    if (onMessage) return onMessage(message);
    if (answers.empty()) return answer;
    const bool next = answers.front();
    answers.pop_front();
    return next;
}

void FakeToolkit::RunActs() {
    if (running_) return;  // an act that lets events run does not run itself again
    running_ = true;
    for (std::size_t i = 0; i < acts_.size();) {
        auto act = acts_[i];
        if (act())
            acts_.erase(acts_.begin() + static_cast<std::ptrdiff_t>(i));
        else
            ++i;
    }
    running_ = false;
}

void FakeToolkit::ProcessEvents() {
    ++processed;
    RunActs();
}

void FakeToolkit::WaitForEvents(int) {
    ++waited;
    RunActs();
}

}  // namespace kelvara::testing
