#pragma once
// Answers every message box of the windows for a test and keeps what each one said.

#include <QStringList>
#include <vector>

#include "ui/message_box.h"

namespace kelvara::testing {

class MessageAnswers {
public:
    // `answer` is OK or Yes when true, No when false.
    explicit MessageAnswers(bool answer = true) {
        MessageBox::SetResponder([this, answer](const MessageBox::Shown& shown) {
            shown_.push_back(shown);
            return answer;
        });
    }
    ~MessageAnswers() { MessageBox::SetResponder({}); }
    MessageAnswers(const MessageAnswers&) = delete;
    MessageAnswers& operator=(const MessageAnswers&) = delete;

    const std::vector<MessageBox::Shown>& shown() const { return shown_; }
    QStringList Texts() const {
        QStringList texts;
        for (const auto& s : shown_) texts << s.text;
        return texts;
    }

private:
    std::vector<MessageBox::Shown> shown_;
};

}  // namespace kelvara::testing
