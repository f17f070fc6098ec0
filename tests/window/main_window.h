#pragma once
// The main window under test: its core on the fake toolkit, on the screen, driven as the user
// drives it, and a helper that answers its destination dialogs.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/window/fake_toolkit.h"
#include "window/control_ids.h"
#include "window/frm_main.h"
#include "window/save_folder.h"

namespace kelvara::testing {

inline FakeView& ViewOf(WindowCore& window) { return static_cast<FakeView&>(window.view()); }

struct MainWindow {
    explicit MainWindow(Platform& platform) : window(platform, toolkit), view(ViewOf(window)) { window.Show(); }

    // Chooses an entry of the drive combo by its text.
    void Choose(const std::string& drive) {
        const auto& entries = view.Entries(ids::frm_main::cbxDrives);
        const auto at = std::find(entries.begin(), entries.end(), drive);
        ASSERT_NE(at, entries.end()) << drive;
        view.Choose(ids::frm_main::cbxDrives, at - entries.begin());
    }
    // Presses toolbar button `index`, counted from 1 with the separators.
    void Click(int index) { view.Click(ids::frm_main::ToolbarButton(index)); }
    const std::string& Caption(int control) const { return view.Text(control); }
    std::int64_t Count() const { return view.EntryCount(ids::frm_main::lstFiles); }
    std::string Entry(std::int64_t row) const { return view.EntryText(ids::frm_main::lstFiles, row); }
    // Clicks entry `row` of the photo list.
    void ChooseEntry(std::int64_t row) { view.Choose(ids::frm_main::lstFiles, row); }

    FakeToolkit toolkit;
    FrmMain window;
    FakeView& view;
};

// Answers each destination dialog the window opens: opens a folder in it and presses OK, or
// presses Cancel when the folder is empty. One folder for each dialog in turn; the last one for
// every dialog after them. `beforeOk` runs with the folder open, just before OK: the user or
// the system acting while the dialog is up.
class DestinationAnswer {
public:
    DestinationAnswer(MainWindow& main, std::vector<std::string> folders, std::function<void()> beforeOk = {})
        : state_(std::make_shared<State>()) {
        main.toolkit.WhileWaiting([state = state_, &main, folders = std::move(folders), beforeOk = std::move(beforeOk)] {
            if (state->gone) return true;
            SaveFolder* dialog = main.window.DestinationDialog();
            if (!dialog || dialog->closed() || !dialog->view().IsShown()) return false;
            const std::string& folder = folders[std::min<std::size_t>(state->answered, folders.size() - 1)];
            ++state->answered;
            FakeView& view = ViewOf(*dialog);
            if (folder.empty()) {
                view.Click(ids::save_folder::CancelButton);
            } else {
                EXPECT_TRUE(dialog->Dir1_SetPath(folder)) << folder;
                if (beforeOk) beforeOk();
                view.Click(ids::save_folder::OKButton);
            }
            return false;
        });
    }
    DestinationAnswer(MainWindow& main, std::string folder, std::function<void()> beforeOk = {})
        : DestinationAnswer(main, std::vector<std::string>{std::move(folder)}, std::move(beforeOk)) {}
    ~DestinationAnswer() { state_->gone = true; }
    DestinationAnswer(const DestinationAnswer&) = delete;
    DestinationAnswer& operator=(const DestinationAnswer&) = delete;

    int answered() const { return state_->answered; }

private:
    struct State {
        int answered = 0;
        bool gone = false;
    };
    std::shared_ptr<State> state_;
};

}  // namespace kelvara::testing
