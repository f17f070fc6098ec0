#pragma once
// The window as plain values, with a record of what was shown, for testing the long
// commands without a window.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "scan/host.h"

namespace kelvara::testing {

class FakeHost : public Host {
public:
    std::string drive = "E:\\";
    std::string sectorsCaption = "0";
    std::int64_t progressMax = 100;
    std::int64_t progressValue = 0;
    std::string current;
    std::string status;
    bool busy = false;
    int guidePicture = 1;
    std::vector<std::string> entries;
    int selected = -1;
    std::vector<std::pair<std::string, std::string>> messages;  // text, title
    std::vector<std::pair<std::string, std::string>> questions;
    std::deque<bool> answers;  // answers to the questions, Yes when none is left
    long yields = 0;
    long refusedProgress = 0;
    std::function<void()> onYield;  // runs inside a yield: the user acting meanwhile
    bool stopRequested = false;

    std::string DriveString() override { return drive; }
    std::string SectorsCaption() override { return sectorsCaption; }
    void SetProgressMax(std::int64_t maximum) override { progressMax = maximum; }
    std::int64_t ProgressMax() override { return progressMax; }
    bool SetProgressValue(std::int64_t value) override {
        if (value > progressMax || value < 0) {
            ++refusedProgress;
            return false;
        }
        progressValue = value;
        return true;
    }
    void SetCurrentSector(std::int64_t sector) override { current = std::to_string(sector); }
    void SetStatus(const std::string& word) override { status = word; }
    void SetBusy(bool value) override { busy = value; }
    void ShowGuidePicture(int index) override { guidePicture = index; }
    void AddFoundEntry(const std::string& name) override {
        entries.push_back(name);
        selected = static_cast<int>(entries.size()) - 1;
    }
    void ShowMessage(const std::string& text, const std::string& title) override { messages.emplace_back(text, title); }
    bool AskYesNo(const std::string& prompt, const std::string& title) override {
        questions.emplace_back(prompt, title);
        if (answers.empty()) return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    bool StopRequested() override { return stopRequested; }
    void Yield() override {
        ++yields;
        if (onYield) onYield();
    }
};

}  // namespace kelvara::testing
