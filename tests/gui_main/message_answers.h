#pragma once
// Answers every message box of the Qt windows for a test and keeps what each one said.

#include <string>
#include <vector>

#include "window_qt/message_box.h"

namespace kelvara::testing {

class MessageAnswers {
public:
    // `answer` is OK or Yes when true, No when false.
    explicit MessageAnswers(bool answer = true) {
        qt::SetMessageResponder([this, answer](const Message& message) {
            shown_.push_back(message);
            return answer;
        });
    }
    ~MessageAnswers() { qt::SetMessageResponder({}); }
    MessageAnswers(const MessageAnswers&) = delete;
    MessageAnswers& operator=(const MessageAnswers&) = delete;

    const std::vector<Message>& shown() const { return shown_; }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& message : shown_) texts.push_back(message.text);
        return texts;
    }

private:
    std::vector<Message> shown_;
};

}  // namespace kelvara::testing
